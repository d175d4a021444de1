// The run driver: builds the search pattern for a Search run, then walks the path.
#include "run/Run.h"

#include "engine/Extract.h"
#include "engine/WriteBack.h"

namespace glos {

FileOperation OperationForMode(const Settings& settings) {
  switch (GetMode(settings)) {
    case Mode::Extract:
      return ExtractFile;
    case Mode::WriteBack:
      return WriteBackFile;
    default:
      return SearchFile;
  }
}

StatusCode RunPattern(const Settings& settings, const char16_t* path, const char16_t* findText,
                      const char16_t* replacementText, const SearchQuestions& questions) {
  SearchContext context;
  context.questions = questions;
  const FileOperation operation = OperationForMode(settings);
  // Extraction reads each file and writes its translation file, and says nothing on the way:
  // its files are handled on every core. Write-back and search stay in order, as one file's
  // changes may be what another reads, and a search may ask.
  if (GetMode(settings) == Mode::Extract) {
    return WalkPattern(settings, path, operation, &context, /*threads=*/0);
  }
  if (GetMode(settings) != Mode::Search) {
    return WalkPattern(settings, path, operation, &context);
  }
  // A text cut to the buffers would find, and overwrite, what nobody asked for.
  if ((findText != nullptr && !SearchTextFits(settings, findText)) ||
      (replacementText != nullptr && !SearchTextFits(settings, replacementText))) {
    return kStatusNone;
  }
  // The pattern borrows these buffers, so the context must not outlive this call.
  char16_t find[kSearchTextCapacity] = {};
  char16_t replacement[kSearchTextCapacity] = {};
  if (findText != nullptr) CopyText(find, kSearchTextCapacity, findText);
  if (replacementText != nullptr) CopyText(replacement, kSearchTextCapacity, replacementText);
  context.pattern = BuildSearchPattern(settings, find, replacement);
  return WalkPattern(settings, path, operation, &context);
}

}  // namespace glos
