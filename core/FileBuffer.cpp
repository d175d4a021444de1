// The deleter of whole-file buffers, the same on every platform.
#include <cstdlib>

#include "core/FileIo.h"

namespace glos {

void FreeDeleter::operator()(void* p) const { std::free(p); }

}  // namespace glos
