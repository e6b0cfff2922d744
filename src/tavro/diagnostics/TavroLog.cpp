#include "tavro/diagnostics/TavroLog.h"

#include "tavro/diagnostics/TavroQARecorder.h"

namespace tavro {

namespace {
TavroQARecorder<std::string, TavroLog::limit>& box() {
    static TavroQARecorder<std::string, TavroLog::limit> instance;
    return instance;
}
}  // namespace

void TavroLog::add(std::string line) { box().add(std::move(line)); }
bool TavroLog::recording() { return box().recording(); }
void TavroLog::setRecording(bool on) { box().setRecording(on); }
std::vector<std::string> TavroLog::lines() { return box().items(); }
void TavroLog::clear() { box().clear(); }
void TavroLog::reset() { box().reset(); }

}  // namespace tavro
