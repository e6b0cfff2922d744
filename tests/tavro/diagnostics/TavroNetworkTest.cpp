#include <gtest/gtest.h>

#include "platform/net/HttpClient.h"
#include "platform/net/LoopbackServer.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"
#include "tavro/diagnostics/TavroNetwork.h"

namespace {

using tavro::TavroNetwork;

TEST(TavroNetwork, KeepsTheAppsCallsOnlyWhileRecording) {
    auto actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    TavroNetwork::reset();
    nettest::LoopbackServer server;
    server.http.Get("/a", [](const httplib::Request&, httplib::Response& response) { response.set_content("12345", "text/plain"); });
    server.start();
    const auto call = [&](const std::string& path) {
        net::Request request;
        request.url = server.url(path);
        auto task = net::HttpClient::send(std::move(request));
        return rt::runToEnd(actor, std::move(task));
    };

    TavroNetwork::setRecording(false);
    ASSERT_TRUE(call("/a"));
    EXPECT_TRUE(TavroNetwork::calls().empty());

    TavroNetwork::setRecording(true);
    ASSERT_TRUE(call("/a"));
    ASSERT_TRUE(call("/missing"));
    const auto calls = TavroNetwork::calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].method, "GET");
    EXPECT_EQ(calls[0].url, server.url("/a"));
    EXPECT_EQ(calls[0].status, 200);
    EXPECT_EQ(calls[0].bytes, 5);
    EXPECT_GE(calls[0].ms, 0);
    EXPECT_EQ(calls[1].status, 404);

    for (int i = 0; i < 520; ++i) TavroNetwork::add({"GET", "x" + std::to_string(i)});
    EXPECT_EQ(TavroNetwork::calls().size(), TavroNetwork::limit);
    EXPECT_EQ(TavroNetwork::calls().back().url, "x519");
    TavroNetwork::reset();
}

}  // namespace
