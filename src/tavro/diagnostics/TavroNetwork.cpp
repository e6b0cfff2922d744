#include "tavro/diagnostics/TavroNetwork.h"

#include "tavro/diagnostics/TavroQARecorder.h"

namespace tavro {

namespace {
TavroQARecorder<TavroNetwork::Call, TavroNetwork::limit>& box() {
    static TavroQARecorder<TavroNetwork::Call, TavroNetwork::limit> instance;
    return instance;
}
}  // namespace

void TavroNetwork::add(Call call) { box().add(std::move(call)); }
bool TavroNetwork::recording() { return box().recording(); }
void TavroNetwork::setRecording(bool on) { box().setRecording(on); }
std::vector<TavroNetwork::Call> TavroNetwork::calls() { return box().items(); }
void TavroNetwork::clear() { box().clear(); }
void TavroNetwork::reset() { box().reset(); }

}  // namespace tavro
