#include "tavro/models/TavroDownloadableModel.h"

namespace tavro {

bool TavroDownloadableModel::isOffered() const { return true; }

std::string TavroDownloadableModel::analyticsName() const { return downloadName(); }

TavroModel::Kind TavroDownloadableModel::kind() const { return Kind::downloadable; }

}  // namespace tavro
