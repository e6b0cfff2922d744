#include "tavro/agent/TavroConfiguration.h"

#include "tavro/models/AppleIntelligenceModel.h"

namespace tavro {

std::vector<std::shared_ptr<TavroModel>> TavroConfiguration::defaultModels() {
    return {std::make_shared<AppleIntelligenceModel>()};
}

}  // namespace tavro
