#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

TavroSurface::~TavroSurface() = default;

rt::Task<std::optional<TavroScreen>> TavroSurface::snapshotAsync() { co_return snapshot(); }

}  // namespace tavro
