// The sample run behind the control's push button: a new instance created by
// ProgID merges the sample page against the sample reference database in
// the sample folder.
#pragma once

#include <dorvane/message_box.h>

#include <string>

namespace dorvane {

// The sample folder: DORVANE_SAMPLE_DIR, else $XDG_DATA_HOME/dorvane/sample,
// else ~/.local/share/dorvane/sample. On Windows the fixed folder
// C:\Users\Public\Documents\Dorvane\Sample, which the installer fills.
std::string sampleFolder();

// Puts the sample files into the sample folder when they are missing:
// sampleweb.htm copied from the installed (or source) samples, samplekiv.sqlite
// built from samplekiv.sql with "DB名" naming the database's own full path.
// False with reason when that fails. On Windows it only checks that the
// installer's files are there.
bool prepareSampleFolder(std::string* reason);

// Creates a ctlMessage by its ProgID, calls ocxwebKiv by name with the
// sample folder's sampleweb.htm, sampleweb1.htm, samplekiv.sqlite and "",
// and releases it. A failure to prepare, create or call is shown in box with
// its reason. Returns true when the call was made.
bool runSample(MessageBox& box);

}  // namespace dorvane
