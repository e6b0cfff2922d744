#include "platform/web/PageScript.h"

namespace web {

// The scripts' text lives in PageScript.js and PageBridge.js beside this file; the build turns
// each into a constant of its own.
namespace embedded {
extern const std::string_view kPageScript;
extern const std::string_view kPageBridge;
}  // namespace embedded

std::string_view pageScript() { return embedded::kPageScript; }
std::string_view bridgeScript() { return embedded::kPageBridge; }

}  // namespace web
