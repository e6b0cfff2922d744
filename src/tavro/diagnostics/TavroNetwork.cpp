#include "tavro/diagnostics/TavroNetwork.h"

#include "platform/net/HttpClient.h"
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
void TavroNetwork::setRecording(bool on) {
    // Every transfer of the app's HTTPS client is offered to the log from the first time it is
    // switched on, for the rest of the process; only calls made while recording are kept.
    static const fnd::ObserverToken hook = net::HttpClient::observe([](const net::TransferRecord& record) {
        add(Call{record.method, record.url, record.status, record.ms, static_cast<std::int64_t>(record.bytes),
                 std::chrono::system_clock::now()});
    });
    box().setRecording(on);
}
std::vector<TavroNetwork::Call> TavroNetwork::calls() { return box().items(); }
void TavroNetwork::clear() { box().clear(); }
void TavroNetwork::reset() { box().reset(); }

}  // namespace tavro
