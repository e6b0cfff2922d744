#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/HttpClient.h"
#include "platform/net/LoopbackServer.h"
#include "platform/runtime/MainActor.h"
#include "platform/runtime/Task.h"

using namespace std::chrono_literals;
using net::HttpClient;
using net::Request;
using net::Response;

namespace {

struct HttpClientLoopback : ::testing::Test {
    std::shared_ptr<rt::MainActor> actor = rt::MainActor::create(rt::ClockKind::virtual_);
    rt::MainActor::Scope scope{actor};
    nettest::LoopbackServer server;

    Response fetch(Request request) {
        auto response = rt::runToEnd(actor, HttpClient::send(std::move(request)));
        EXPECT_TRUE(response.has_value());
        return response.value_or(Response{});
    }
    Response get(const std::string& path, double timeout = 5.0) { return fetch(Request{.url = server.url(path), .timeout = timeout}); }

    static double wallSecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

}  // namespace

TEST_F(HttpClientLoopback, SendsMethodHeadersAndBodyAndReadsTheResponse) {
    server.http.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
        response.status = 201;
        response.set_header("ETag", "\"v1\"");
        response.set_header("X-Seen", request.get_header_value("X-Test"));
        response.set_content("got " + request.body, "text/plain");
    });
    server.start();
    const auto response = fetch(Request{.method = "POST",
                                        .url = server.url("/echo"),
                                        .headers = {{"X-Test", "one\r\nInjected: yes"}},
                                        .body = "hello"});
    ASSERT_TRUE(response.ok()) << response.error;
    EXPECT_EQ(response.status, 201);
    EXPECT_EQ(response.body, "got hello");
    EXPECT_EQ(response.header("etag"), "\"v1\"") << "header names are looked up in any letter case";
    EXPECT_EQ(response.header("ETAG"), "\"v1\"");
    EXPECT_EQ(response.header("x-seen"), "one  Injected: yes") << "a line break cannot start a second header";
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].headers.count("Injected"), 0u);
}

TEST_F(HttpClientLoopback, ObserversHearOfEveryTransferUntilTheirTokenEnds) {
    server.http.Get("/data", [](const httplib::Request&, httplib::Response& response) { response.set_content("12345", "text/plain"); });
    server.http.Get("/missing", [](const httplib::Request&, httplib::Response& response) { response.status = 404; });
    server.start();
    std::mutex lock;
    std::vector<net::TransferRecord> records;
    auto token = HttpClient::observe([&](const net::TransferRecord& record) {
        std::lock_guard guard(lock);
        records.push_back(record);
    });
    get("/data");
    get("/missing");
    fetch(Request{.url = "http://127.0.0.1:1/closed", .timeout = 2.0});
    token.cancel();
    get("/data");

    std::lock_guard guard(lock);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].method, "GET");
    EXPECT_EQ(records[0].url, server.url("/data"));
    EXPECT_EQ(records[0].status, 200);
    EXPECT_EQ(records[0].bytes, 5u);
    EXPECT_GE(records[0].ms, 0);
    EXPECT_EQ(records[1].status, 404);
    EXPECT_EQ(records[2].status, 0) << "no response came from a closed port";
}

TEST_F(HttpClientLoopback, FollowsAtMostThreeRedirectsAndOnlyToPermittedAddresses) {
    server.http.Get(R"(/hop/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        const int left = std::stoi(request.matches[1]);
        if (left == 0) {
            response.set_content("arrived", "text/plain");
        } else {
            response.set_redirect("/hop/" + std::to_string(left - 1));
        }
    });
    server.http.Get("/away", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("http://example.com/pack.json");
    });
    server.http.Post("/form", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/result", 303); });
    server.http.Get("/result", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.method + " " + std::to_string(request.body.size()), "text/plain");
    });
    server.start();

    const auto three = get("/hop/3");
    EXPECT_TRUE(three.ok()) << three.error;
    EXPECT_EQ(three.body, "arrived");

    const std::size_t before = server.requests();
    const auto four = get("/hop/4");
    EXPECT_FALSE(four.ok());
    EXPECT_EQ(four.error, "too many redirects");
    EXPECT_EQ(server.requests() - before, 4u) << "the fourth redirect is not followed";

    const auto away = get("/away");
    EXPECT_FALSE(away.ok());
    EXPECT_NE(away.error.find("refused redirect"), std::string::npos) << away.error;

    const auto form = fetch(Request{.method = "POST", .url = server.url("/form"), .body = "a=1"});
    EXPECT_EQ(form.body, "GET 0") << "303 turns a POST into a GET without the body";
}

TEST_F(HttpClientLoopback, HostOnlyHeadersStayWithTheirServerAcrossRedirects) {
    server.http.Get("/stay", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/landing"); });
    server.http.Get("/leave", [this](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("http://localhost:" + std::to_string(server.port()) + "/landing");
    });
    server.http.Get("/landing", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("here", "text/plain");
    });
    server.start();
    const auto request = [&](const std::string& path) {
        return Request{.url = server.url(path),
                       .headers = {{"X-Install", "id-7"}, {"Accept", "text/plain"}},
                       .hostOnlyHeaders = {"x-install"},
                       .timeout = 5.0};
    };

    EXPECT_EQ(fetch(request("/stay")).body, "here");
    EXPECT_EQ(fetch(request("/leave")).body, "here");
    const auto seen = server.seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[1].header("X-Install"), "id-7") << "a redirect on the same server keeps it";
    EXPECT_EQ(seen[2].header("X-Install"), "id-7");
    EXPECT_EQ(seen[3].header("Host").rfind("localhost", 0), 0u);
    EXPECT_FALSE(seen[3].headers.count("X-Install")) << "another host never hears it";
    EXPECT_EQ(seen[3].header("Accept"), "text/plain") << "other headers still go";
}

TEST_F(HttpClientLoopback, ABodyOverTheLimitIsCutOffAndReported) {
    server.http.Get("/big", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(200 * 1024, 'x'), "text/plain");
    });
    server.start();
    const auto response = fetch(Request{.url = server.url("/big"), .limit = 1000});
    EXPECT_TRUE(response.truncated);
    EXPECT_FALSE(response.ok());
    EXPECT_EQ(response.body.size(), 1000u);
    EXPECT_EQ(response.status, 200);

    const auto exact = fetch(Request{.url = server.url("/big"), .limit = 200 * 1024});
    EXPECT_TRUE(exact.ok()) << "a body of exactly the limit is whole: " << exact.error;
}

TEST_F(HttpClientLoopback, OnlyHTTPSOrLoopbackHTTPIsPermittedAndRefusedAddressesSendNothing) {
    server.start();
    for (const char* url : {"https://packs.example.com/tavro/packs/app.json", "HTTPS://Packs.Example.com", "http://127.0.0.1:8080/x",
                            "http://[::1]:8080/x", "http://LocalHost/x"}) {
        EXPECT_TRUE(HttpClient::permits(url)) << url;
    }
    for (const char* url : {"http://packs.example.com/", "http://127.0.0.1.nip.io/", "http://localhost.example.com/",
                            "ftp://127.0.0.1/", "file:///etc/passwd", "https://", "packs.example.com/x", ""}) {
        EXPECT_FALSE(HttpClient::permits(url)) << url;
        const auto response = fetch(Request{.url = url});
        EXPECT_FALSE(response.ok()) << url;
        EXPECT_EQ(response.status, 0) << url;
    }
    const auto badMethod = fetch(Request{.method = "GET /x HTTP/1.1\r\n", .url = server.url("/")});
    EXPECT_FALSE(badMethod.ok());
    EXPECT_EQ(server.requests(), 0u);
}

TEST_F(HttpClientLoopback, AServerThatNeverAnswersTimesOut) {
    server.http.Get("/hang", [this](const httplib::Request&, httplib::Response& response) {
        server.waitAtGate();
        response.set_content("late", "text/plain");
    });
    server.start();
    const auto start = std::chrono::steady_clock::now();
    const auto response = get("/hang", 0.3);
    EXPECT_FALSE(response.ok());
    EXPECT_EQ(response.status, 0);
    EXPECT_LT(wallSecondsSince(start), 3.0);
}

TEST_F(HttpClientLoopback, CancellingTheAwaitingTaskAbortsTheTransferAtOnce) {
    server.http.Get("/hang", [this](const httplib::Request&, httplib::Response& response) {
        server.waitAtGate();
        response.set_content("late", "text/plain");
    });
    server.start();
    auto handle = rt::spawn(HttpClient::send(Request{.url = server.url("/hang"), .timeout = 20.0}), actor);
    actor->runReady();  // the task starts its transfer and waits
    ASSERT_TRUE(server.waitForRequests(1));
    const auto start = std::chrono::steady_clock::now();
    handle.cancel();
    ASSERT_TRUE(actor->runUntil([&] { return handle.isDone(); }));
    EXPECT_LT(wallSecondsSince(start), 0.5);
    ASSERT_TRUE(handle.result().has_value());
    EXPECT_EQ(handle.result()->error, "cancelled");
}

TEST_F(HttpClientLoopback, TheVirtualClockWaitsForAnOutstandingTransfer) {
    server.http.Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
        server.waitAtGate(150ms);
        response.set_content("done", "text/plain");
    });
    server.start();
    auto sleeper = rt::spawn([]() -> rt::Task<void> { co_await rt::sleep(10s); }(), actor);
    std::optional<rt::Instant> answeredAt;
    auto fetcher = rt::spawn([](std::string url, std::optional<rt::Instant>& at) -> rt::Task<void> {
        Request request{.url = url};
        const auto response = co_await HttpClient::send(std::move(request));
        if (response.ok()) at = rt::now();
    }(server.url("/slow"), answeredAt), actor);
    actor->runUntilIdle();
    ASSERT_TRUE(answeredAt.has_value());
    EXPECT_LT(answeredAt->time_since_epoch(), 1s) << "the clock did not jump to the sleeper's deadline first";
    EXPECT_TRUE(sleeper.isDone());
}

TEST_F(HttpClientLoopback, AServerWhoseCertificateNoAuthoritySignedIsRefused) {
    // A self-signed certificate for 127.0.0.1, made on the spot.
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("prime256v1"), &EVP_PKEY_free);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), &X509_free);
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate.get()), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(certificate.get()));
    X509_set_pubkey(certificate.get(), key.get());
    ASSERT_GT(X509_sign(certificate.get(), key.get(), EVP_sha256()), 0);

    httplib::SSLServer tls(certificate.get(), key.get());
    tls.Get("/", [](const httplib::Request&, httplib::Response& response) { response.set_content("secret", "text/plain"); });
    const int port = tls.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread listening([&] { tls.listen_after_bind(); });
    for (int i = 0; i < 5000 && !tls.is_running(); ++i) std::this_thread::sleep_for(1ms);
    const auto response = fetch(Request{.url = "https://127.0.0.1:" + std::to_string(port) + "/", .timeout = 5.0});
    tls.stop();
    listening.join();
    EXPECT_FALSE(response.ok());
    EXPECT_EQ(response.status, 0);
    EXPECT_TRUE(response.body.empty());
}
