#!/usr/bin/python3
"""Draws a local page with WebKitGTK and saves what it shows as a PNG.

    webkit_shot.py PAGE PNG WIDTH HEIGHT [SECONDS]

Runs under an X server (Xvfb): the view sits in an offscreen window of
WIDTH x HEIGHT pixels. Exits 1 when the page fails to load or nothing is
drawn within SECONDS (default 60), so a caller never waits forever.
"""
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
gi.require_version("WebKit2", "4.1")
from gi.repository import Gdk, GLib, Gtk, WebKit2  # noqa: E402


def main(page, png, width, height, seconds):
    if Gdk.Display.get_default() is None:
        print("webkit_shot: no X display", file=sys.stderr)
        return 1
    failure = []

    def fail(message):
        failure.append(message)
        Gtk.main_quit()

    # An unreachable proxy for every request that leaves the machine: the
    # pages are local files and must stay so.
    context = WebKit2.WebContext.new_ephemeral()
    context.get_website_data_manager().set_network_proxy_settings(
        WebKit2.NetworkProxyMode.CUSTOM, WebKit2.NetworkProxySettings.new("http://127.0.0.1:9", None))
    view = WebKit2.WebView.new_with_context(context)
    settings = view.get_settings()
    settings.set_enable_javascript(False)
    # Software drawing, the same under every X server.
    settings.set_hardware_acceleration_policy(WebKit2.HardwareAccelerationPolicy.NEVER)

    window = Gtk.OffscreenWindow()
    window.set_default_size(width, height)
    window.add(view)
    window.show_all()

    def saved(_view, result):
        try:
            view.get_snapshot_finish(result).write_to_png(png)
        except GLib.Error as error:
            failure.append(f"no snapshot: {error.message}")
        Gtk.main_quit()

    def after_paint(_clock):
        # The first frame drawn after the load holds the finished layout.
        clock.disconnect(paint_handler[0])
        view.get_snapshot(WebKit2.SnapshotRegion.VISIBLE, WebKit2.SnapshotOptions.NONE, None, saved)

    clock = view.get_frame_clock()
    paint_handler = []

    def load_changed(_view, event):
        if event == WebKit2.LoadEvent.FINISHED:
            paint_handler.append(clock.connect("after-paint", after_paint))
            view.queue_draw()

    view.connect("load-changed", load_changed)
    view.connect("load-failed", lambda _v, _e, uri, error: fail(f"cannot load {uri}: {error.message}") or True)
    GLib.timeout_add_seconds(seconds, lambda: fail(f"nothing drawn within {seconds} s"))
    view.load_uri(GLib.filename_to_uri(page, None))
    Gtk.main()
    view.terminate_web_process()
    if failure:
        print(f"webkit_shot: {failure[0]}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) not in (5, 6):
        sys.exit("usage: webkit_shot.py PAGE PNG WIDTH HEIGHT [SECONDS]")
    seconds = int(sys.argv[5]) if len(sys.argv) == 6 else 60
    sys.exit(main(sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), seconds))
