// The platform's URL loading: HTTPS requests over libcurl. A transfer runs on a worker thread and
// its response resumes the awaiting task on the main actor; while it is outstanding the virtual
// clock does not jump past it. Cancelling the awaiting task aborts the transfer at once.
//
// Rules every request follows: HTTPS with peer and host verification, or plain HTTP to a loopback
// host (127.0.0.1, ::1, localhost) only; at most three redirects, never from HTTPS to HTTP and
// never to an address these rules refuse; headers the request names as host-only are not sent once a
// redirect leaves its host (and port); a body above the request's limit is cut off and reported
// as an error; connecting may take 10 s and the whole request its timeout (30 s by default).
//
// Observers registered with observe() hear of every finished transfer, on the worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/ObserverToken.h"
#include "platform/runtime/Task.h"

namespace net {

// Orders header names without regard to ASCII letter case.
struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// Response headers by name, looked up in any letter case. A header sent more than once holds its
// values joined by ", ".
using Headers = std::map<std::string, std::string, CaseInsensitiveLess>;

struct Request {
    std::string method = "GET";
    std::string url;
    // Sent in this order. Line breaks in names or values are replaced by blanks.
    std::vector<std::pair<std::string, std::string>> headers;
    // Names (any letter case) of headers sent only to the host and port of `url`: a redirect
    // elsewhere goes on without them, so that what identifies the client stays with its server.
    std::vector<std::string> hostOnlyHeaders;
    std::string body;
    // Seconds for the whole request, redirects included.
    double timeout = 30.0;
    // The most body bytes accepted; a longer body is cut off there and reported as an error.
    std::size_t limit = 16 * 1024 * 1024;
};

struct Response {
    // The HTTP status of the last response, 0 when none came.
    int status = 0;
    Headers headers;
    std::string body;
    // Empty when a whole response came; otherwise why not (no connection, a timeout, a refused
    // address or redirect, cancelled, or a body over the limit).
    std::string error;
    // The body passed the request's limit; `body` holds its first `limit` bytes.
    bool truncated = false;

    bool ok() const { return error.empty(); }
    // A header's value, in any letter case of its name.
    std::optional<std::string> header(std::string_view name) const;
};

// What observers hear after each transfer.
struct TransferRecord {
    std::string method;
    std::string url;
    int status = 0;  // 0 when no response came
    std::int64_t ms = 0;
    std::size_t bytes = 0;  // body bytes received
};

class HttpClient {
public:
    HttpClient() = delete;

    // Performs the request. Never throws: failures come back in Response::error.
    static rt::Task<Response> send(Request request);

    // Whether requests may go to this address: HTTPS, or HTTP to a loopback host.
    static bool permits(std::string_view url);

    // Adds an observer of finished transfers until the token ends. Observers are called on the
    // transfer's worker thread, after the lock of the observer list is released, so one may still
    // hear a transfer that finished while its token was ending. What an observer throws is dropped.
    static fnd::ObserverToken observe(std::function<void(const TransferRecord&)> observer);
};

}  // namespace net
