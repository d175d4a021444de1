// The run started by the OK button: the current page's fields to one walk of the engine.
#pragma once

namespace glos {

// Reads the path field of the current page (and on the Search page the find and replacement
// fields), gives the focus to the log area (which unfolds the window), empties the log and runs
// the operation of Mode over the path. Questions at matches are message boxes whose action word
// is the OK button's caption. Returns when the run has ended or was cancelled.
void RunOperation();

}  // namespace glos
