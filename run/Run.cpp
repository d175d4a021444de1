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
  if (GetMode(settings) != Mode::Search) {
    return WalkPattern(settings, path, operation, &context);
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
