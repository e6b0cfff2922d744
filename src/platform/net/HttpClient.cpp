#include "platform/net/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/runtime/Continuation.h"

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int maxRedirects = 3;
constexpr long connectTimeoutMs = 10'000;
constexpr double defaultTimeout = 30.0;
constexpr double longestTimeout = 24.0 * 3600.0;

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

char lowerASCII(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lowerASCII);
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// ---- addresses ----

struct UrlHandle {
    CURLU* handle = curl_url();
    UrlHandle() = default;
    UrlHandle(const UrlHandle&) = delete;
    UrlHandle& operator=(const UrlHandle&) = delete;
    ~UrlHandle() { curl_url_cleanup(handle); }

    std::string part(CURLUPart which, unsigned int flags = 0) const {
        char* text = nullptr;
        if (curl_url_get(handle, which, &text, flags) != CURLUE_OK || !text) return {};
        std::string out(text);
        curl_free(text);
        return out;
    }
};

struct Address {
    std::string url;     // normalised
    std::string scheme;  // lower case
    std::string host;    // lower case; IPv6 in brackets
    std::string port;    // the scheme's default when none is written

    bool sameServer(const Address& other) const { return host == other.host && port == other.port; }
};

// Parses an absolute address, or resolves `reference` against `base` when a base is given.
std::optional<Address> parseAddress(std::string_view text, const std::string* base = nullptr) {
    UrlHandle url;
    if (!url.handle) return std::nullopt;
    if (base && curl_url_set(url.handle, CURLUPART_URL, base->c_str(), 0) != CURLUE_OK) return std::nullopt;
    const std::string owned(text);
    if (owned.find('\0') != std::string::npos) return std::nullopt;
    if (curl_url_set(url.handle, CURLUPART_URL, owned.c_str(), 0) != CURLUE_OK) return std::nullopt;
    Address address{url.part(CURLUPART_URL), lowered(url.part(CURLUPART_SCHEME)), lowered(url.part(CURLUPART_HOST)),
                    url.part(CURLUPART_PORT, CURLU_DEFAULT_PORT)};
    if (address.url.empty() || address.host.empty()) return std::nullopt;
    return address;
}

bool isLoopback(const std::string& host) { return host == "127.0.0.1" || host == "[::1]" || host == "localhost"; }

bool permitted(const Address& address) {
    return address.scheme == "https" || (address.scheme == "http" && isLoopback(address.host));
}

// ---- transfers ----

struct Transfer {
    std::atomic<bool> cancelled{false};
    std::mutex lock;
    CURLM* multi = nullptr;  // the hop in progress, guarded by lock

    void cancel() {
        cancelled = true;
        std::lock_guard guard(lock);
        if (multi) curl_multi_wakeup(multi);
    }
};

struct Sink {
    std::string* body;
    std::size_t limit;
    bool truncated = false;
    Headers headers;
    Transfer* transfer;
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& sink = *static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    const std::size_t room = sink.limit - std::min(sink.limit, sink.body->size());
    if (bytes > room) {
        sink.body->append(data, room);
        sink.truncated = true;
        return 0;  // aborts the transfer: nothing beyond the limit is ever held
    }
    sink.body->append(data, bytes);
    return bytes;
}

std::size_t readHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& sink = *static_cast<Sink*>(user);
    const std::string_view line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        sink.headers.clear();  // a new response (after 100 Continue): only the last one's headers count
        return line.size();
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return line.size();
    const std::string name(trimmed(line.substr(0, colon)));
    const std::string value(trimmed(line.substr(colon + 1)));
    auto [it, inserted] = sink.headers.emplace(name, value);
    if (!inserted) it->second += ", " + value;
    return line.size();
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->cancelled ? 1 : 0;
}

std::string headerLine(const std::string& name, const std::string& value) {
    const auto clean = [](std::string text) {
        std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
        return text;
    };
    // curl drops a header written "Name:" and sends "Name;" as one with an empty value.
    return value.empty() ? clean(name) + ";" : clean(name) + ": " + clean(value);
}

bool isToken(std::string_view method) {
    return !method.empty() && std::all_of(method.begin(), method.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

struct Hop {
    std::string method;
    std::string url;
    std::string body;
    bool ownServer = true;  // still at the host and port the request named
};

bool hostOnly(const Request& request, const std::string& name) {
    const CaseInsensitiveLess less;
    return std::any_of(request.hostOnlyHeaders.begin(), request.hostOnlyHeaders.end(),
                       [&](const std::string& other) { return !less(name, other) && !less(other, name); });
}

struct HopResult {
    Response response;
    std::optional<std::string> location;
};

std::string describe(CURLcode code, const char* detail) {
    if (detail && *detail) return detail;
    return curl_easy_strerror(code);
}

// One request and response, without following redirects.
HopResult performHop(const Request& request, const Hop& hop, Transfer& transfer, long remainingMs) {
    HopResult result;
    auto& response = result.response;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), &curl_multi_cleanup);
    if (!easy || !multi) {
        response.error = "the network library could not start a transfer";
        return result;
    }
    Sink sink{&response.body, request.limit, false, {}, &transfer};
    char detail[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers) {
        if (hop.ownServer || !hostOnly(request, name)) headers = curl_slist_append(headers, headerLine(name, value).c_str());
    }
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, &curl_slist_free_all);

    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, hop.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, std::min(connectTimeoutMs, remainingMs));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, remainingMs);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &readHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &sink);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
    if (hop.method == "GET") {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (hop.method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        if (hop.method == "POST" || !hop.body.empty()) {
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(hop.body.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, hop.body.c_str());
        }
        if (hop.method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, hop.method.c_str());
    }

    curl_multi_add_handle(multi.get(), e);
    {
        std::lock_guard guard(transfer.lock);
        transfer.multi = multi.get();
    }
    // The multi interface lets cancel() wake the wait at once instead of at the next progress call.
    int running = 1;
    while (running && !transfer.cancelled) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
        if (running && !transfer.cancelled) curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
    {
        std::lock_guard guard(transfer.lock);
        transfer.multi = nullptr;
    }
    CURLcode code = CURLE_ABORTED_BY_CALLBACK;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == e) code = message->data.result;
    }
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    curl_multi_remove_handle(multi.get(), e);

    response.status = static_cast<int>(status);
    response.headers = std::move(sink.headers);
    response.truncated = sink.truncated;
    if (transfer.cancelled) {
        response.error = "cancelled";
    } else if (sink.truncated) {
        response.error = "the response body is larger than " + std::to_string(request.limit) + " bytes";
    } else if (code != CURLE_OK) {
        response.error = describe(code, detail);
    }
    if (response.ok() && (status == 301 || status == 302 || status == 303 || status == 307 || status == 308)) {
        result.location = response.header("Location");
    }
    return result;
}

Response perform(const Request& request, Transfer& transfer) {
    Response response;
    if (!isToken(request.method)) {
        response.error = "invalid request method";
        return response;
    }
    auto address = parseAddress(request.url);
    if (!address || !permitted(*address)) {
        response.error = "refused address: only HTTPS, or HTTP to this device, is allowed";
        return response;
    }
    const double timeout = std::isfinite(request.timeout) && request.timeout > 0 ? std::min(request.timeout, longestTimeout)
                                                                                 : defaultTimeout;
    const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(timeout * 1000.0));
    const Address first = *address;
    Hop hop{request.method, address->url, request.body};
    for (int redirects = 0;; ++redirects) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (remaining <= 0) {
            response.error = "the request timed out";
            return response;
        }
        auto result = performHop(request, hop, transfer, static_cast<long>(remaining));
        if (!result.location) return std::move(result.response);
        if (redirects == maxRedirects) {
            result.response.error = "too many redirects";
            return std::move(result.response);
        }
        const auto next = parseAddress(*result.location, &address->url);
        if (!next || !permitted(*next) || (address->scheme == "https" && next->scheme != "https")) {
            result.response.error = "refused redirect to " + (next ? next->url : std::string("an invalid address"));
            return std::move(result.response);
        }
        // As browsers do: 303 turns into GET, and so does a POST answered by 301 or 302.
        const int status = result.response.status;
        if ((status == 303 && hop.method != "HEAD") || ((status == 301 || status == 302) && hop.method == "POST")) {
            hop.method = "GET";
            hop.body.clear();
        }
        hop.url = next->url;
        hop.ownServer = next->sameServer(first);
        address = next;
    }
}

// ---- observers ----

using Observer = std::function<void(const TransferRecord&)>;

struct Observers {
    std::mutex lock;
    std::uint64_t next = 1;
    std::map<std::uint64_t, std::shared_ptr<const Observer>> list;
};

Observers& observers() {
    static Observers instance;
    return instance;
}

void announce(const TransferRecord& record) {
    std::vector<std::shared_ptr<const Observer>> copy;
    {
        auto& o = observers();
        std::lock_guard guard(o.lock);
        for (const auto& [id, observer] : o.list) copy.push_back(observer);
    }
    for (const auto& observer : copy) {
        try {
            (*observer)(record);
        } catch (...) {
            // An observer's fault must not take the transfer's thread down.
        }
    }
}

// Registers the task's cancellation with the transfer without suspending; gives back the task's
// context so that the hook can be removed when the transfer is over.
struct CancelHook {
    std::shared_ptr<Transfer> transfer;
    std::shared_ptr<rt::TaskContext> context;

    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> h) {
        context = rt::detail::base(h).context;
        if (context && context->cancelled) {
            transfer->cancel();
        } else if (context) {
            context->onCancel = [t = transfer] { t->cancel(); };
        }
        return false;
    }
    std::shared_ptr<rt::TaskContext> await_resume() const noexcept { return context; }
};

}  // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lowerASCII(x) < lowerASCII(y); });
}

std::optional<std::string> Response::header(std::string_view name) const {
    const auto it = headers.find(name);
    if (it == headers.end()) return std::nullopt;
    return it->second;
}

bool HttpClient::permits(std::string_view url) {
    const auto address = parseAddress(url);
    return address && permitted(*address);
}

fnd::ObserverToken HttpClient::observe(std::function<void(const TransferRecord&)> observer) {
    auto& o = observers();
    std::uint64_t id = 0;
    {
        std::lock_guard guard(o.lock);
        id = o.next++;
        o.list.emplace(id, std::make_shared<const Observer>(std::move(observer)));
    }
    return fnd::ObserverToken([id] {
        auto& o = observers();
        std::lock_guard guard(o.lock);
        o.list.erase(id);
    });
}

rt::Task<Response> HttpClient::send(Request request) {
    initialiseCurl();
    const auto actor = rt::MainActor::shared();
    const rt::Continuation<Response> done(actor);
    auto transfer = std::make_shared<Transfer>();
    CancelHook hook{transfer, nullptr};
    const auto context = co_await hook;
    try {
        // The hold keeps the virtual clock from jumping past the transfer; it ends only after the
        // response has been handed to the main actor, and the transfer ends by its own deadline.
        const double seconds = std::isfinite(request.timeout) && request.timeout > 0 ? std::min(request.timeout, longestTimeout)
                                                                                     : defaultTimeout;
        const auto bound = std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0)) + std::chrono::seconds(5);
        std::thread([request = std::move(request), transfer, done, hold = rt::MainActor::Hold(actor, bound)]() mutable {
            const auto started = Clock::now();
            Response response = perform(request, *transfer);
            announce(TransferRecord{
                .method = request.method,
                .url = request.url,
                .status = response.status,
                .ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count(),
                .bytes = response.body.size(),
            });
            done.resume(std::move(response));
            hold.release();
        }).detach();
    } catch (const std::system_error&) {
        done.resume(Response{.error = "no thread for the transfer"});
    }
    Response response = co_await done;
    if (context) context->onCancel = nullptr;
    co_return response;
}

}  // namespace net
