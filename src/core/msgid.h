// Texts that users read, kept where their meaning is (the public API's words
// for its errors): marked as the message catalogue's msgids (po/), which
// xgettext finds and each front end translates where it shows them.
#pragma once

/// `text` itself, marked for the catalogue.
#define N_(text) text
