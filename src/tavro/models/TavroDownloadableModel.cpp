#include "tavro/models/TavroDownloadableModel.h"

namespace tavro {

bool TavroDownloadableModel::isOffered() const { return true; }

std::string TavroDownloadableModel::analyticsName() const { return downloadName(); }

}  // namespace tavro
