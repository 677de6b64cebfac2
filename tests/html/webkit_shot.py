#!/usr/bin/python3
"""webkit_shot.py PAGE PNG WIDTH HEIGHT [SECONDS]

Draws a local page with WebKitGTK in an offscreen window of WIDTH x HEIGHT
pixels on the X server (Xvfb) and saves what it shows as a PNG. Exits 1 when
the page fails to load or nothing is drawn within SECONDS (default 60)."""
import sys

import gi

for name, version in (("Gdk", "3.0"), ("Gtk", "3.0"), ("WebKit2", "4.1")):
    gi.require_version(name, version)
from gi.repository import Gdk, GLib, Gtk, WebKit2  # noqa: E402


def main(page, png, width, height, seconds=60):
    if Gdk.Display.get_default() is None:
        return "no X display"
    failure = []

    def stop(message=None):
        if message:
            failure.append(message)
        Gtk.main_quit()

    context = WebKit2.WebContext.new_ephemeral()
    # Requests that would leave the machine go to a proxy that isn't there.
    context.get_website_data_manager().set_network_proxy_settings(
        WebKit2.NetworkProxyMode.CUSTOM,
        WebKit2.NetworkProxySettings.new("http://127.0.0.1:9", None))
    view = WebKit2.WebView.new_with_context(context)
    view.get_settings().set_enable_javascript(False)
    view.get_settings().set_hardware_acceleration_policy(WebKit2.HardwareAccelerationPolicy.NEVER)
    window = Gtk.OffscreenWindow()
    window.set_default_size(width, height)
    window.add(view)
    window.show_all()
    clock = view.get_frame_clock()

    def saved(_view, result):
        try:
            view.get_snapshot_finish(result).write_to_png(png)
            stop()
        except GLib.Error as error:
            stop(f"no snapshot: {error.message}")

    def painted(_clock):  # The first frame after the load shows the finished layout.
        clock.disconnect_by_func(painted)
        view.get_snapshot(WebKit2.SnapshotRegion.VISIBLE, WebKit2.SnapshotOptions.NONE, None, saved)

    def load_changed(_view, event):
        if event == WebKit2.LoadEvent.FINISHED:
            clock.connect("after-paint", painted)
            view.queue_draw()

    view.connect("load-changed", load_changed)
    view.connect("load-failed",
                 lambda _v, _e, uri, error: stop(f"cannot load {uri}: {error.message}") or True)
    GLib.timeout_add_seconds(seconds, stop, f"nothing drawn within {seconds} s")
    view.load_uri(GLib.filename_to_uri(page, None))
    Gtk.main()
    view.terminate_web_process()
    return failure[0] if failure else None


if __name__ == "__main__":
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    error = main(sys.argv[1], sys.argv[2], *map(int, sys.argv[3:]))
    sys.exit(f"webkit_shot: {error}" if error else 0)
