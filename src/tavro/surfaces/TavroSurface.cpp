#include "tavro/surfaces/TavroSurface.h"

namespace tavro {

TavroSurface::~TavroSurface() = default;

rt::Task<std::optional<TavroScreen>> TavroSurface::snapshotAsync() { co_return snapshot(); }

rt::Task<TavroReach> TavroSurface::reached(TavroAction) { co_return TavroReach{}; }

}  // namespace tavro
