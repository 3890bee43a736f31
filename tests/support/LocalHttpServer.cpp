#include "support/LocalHttpServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

namespace testsupport {

namespace {

using Route = std::function<void(const httplib::Request&, httplib::Response&)>;
using namespace std::chrono_literals;

constexpr std::size_t kSliceBytes = 64 * 1024;
constexpr auto kThrottleTick = 50ms;
// Waiting behaviours give up after this even if nobody stops the server.
constexpr auto kLongestWait = 120s;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// A socket bound to a kernel-chosen port on 127.0.0.1; -1 on failure.
int bindLoopbackSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

std::string ReceivedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name)) return value;
    return {};
}

struct LocalHttpServer::State {
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    std::string scheme = "http";

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::map<std::string, Route, std::less<>> routes;
    std::vector<std::pair<std::string, Route>> prefixRoutes;
    std::vector<ReceivedRequest> log;
    std::atomic<int> tlsConnections{0};
    int throttledNow = 0;
    int throttledMost = 0;

    // Sleeps for `duration` or until the server stops; true when it stops.
    bool sleepOrStop(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, duration, [this] { return stopping; });
    }

    // Waits until the server stops, bounded.
    void waitForStop() {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, kLongestWait, [this] { return stopping; });
    }

    void throttledBegins() {
        const std::lock_guard lock(mutex);
        throttledMost = std::max(throttledMost, ++throttledNow);
    }
    void throttledEnds() {
        const std::lock_guard lock(mutex);
        --throttledNow;
    }

    void add(const std::string& path, Route route) {
        const std::lock_guard lock(mutex);
        routes.insert_or_assign(path, std::move(route));
    }

    Route find(const std::string& path) const {
        const std::lock_guard lock(mutex);
        if (const auto exact = routes.find(path); exact != routes.end()) return exact->second;
        for (const auto& [prefix, route] : prefixRoutes)
            if (path.starts_with(prefix)) return route;
        if (const auto fallback = routes.find("*"); fallback != routes.end())
            return fallback->second;
        return {};
    }

    void record(const httplib::Request& request) {
        ReceivedRequest entry{request.method, request.path, {}};
        for (const auto& [key, value] : request.headers) entry.headers.emplace_back(key, value);
        const std::lock_guard lock(mutex);
        log.push_back(std::move(entry));
    }

    void dispatch(const httplib::Request& request, httplib::Response& response) {
        record(request);
        if (const Route route = find(request.path)) {
            route(request, response);
        } else {
            response.status = 404;
            response.set_content("no such file", "text/plain");
        }
    }

    void start() {
        if (!server->is_valid()) throw std::runtime_error("LocalHttpServer: invalid TLS files");
        const auto handler = [this](const httplib::Request& q, httplib::Response& r) {
            dispatch(q, r);
        };
        server->Get(".*", handler);
        server->Post(".*", handler);
        // Idle keep-alive connections must not hold up stop() for long.
        server->set_keep_alive_timeout(1);
        // Headers and body go out in separate writes; without this the body waits for the
        // client's delayed ACK (some 40 ms per answer), as no real server makes it wait.
        server->set_tcp_nodelay(true);
        port = server->bind_to_any_port("127.0.0.1");
        if (port <= 0) throw std::runtime_error("LocalHttpServer: cannot bind 127.0.0.1");
        thread = std::thread([this] { server->listen_after_bind(); });
        // stop() is ignored by a server not yet running, so wait until it is.
        while (!server->is_running()) std::this_thread::sleep_for(1ms);
    }
};

LocalHttpServer::LocalHttpServer() : state_(std::make_unique<State>()) {
    state_->server = std::make_unique<httplib::Server>();
    state_->start();
}

LocalHttpServer::LocalHttpServer(const std::string& certificateFile, const std::string& keyFile)
    : state_(std::make_unique<State>()) {
    auto server = std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str());
    // Every connection begins with one ClientHello.
    SSL_CTX_set_client_hello_cb(
        server->ssl_context(),
        [](SSL*, int*, void* counter) {
            ++*static_cast<std::atomic<int>*>(counter);
            return SSL_CLIENT_HELLO_SUCCESS;
        },
        &state_->tlsConnections);
    state_->server = std::move(server);
    state_->scheme = "https";
    state_->start();
}

LocalHttpServer::~LocalHttpServer() {
    stop();
}

void LocalHttpServer::stop() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    state_->server->stop();
    if (state_->thread.joinable()) state_->thread.join();
}

int LocalHttpServer::port() const {
    return state_->port;
}

std::string LocalHttpServer::baseUrl() const {
    return state_->scheme + "://127.0.0.1:" + std::to_string(state_->port);
}

std::string LocalHttpServer::url(std::string_view path) const {
    return baseUrl() + std::string(path);
}

void LocalHttpServer::serveFile(const std::string& path, std::string body,
                                std::string contentType) {
    state_->add(path, [body = std::move(body), contentType = std::move(contentType)](
                          const httplib::Request&, httplib::Response& response) {
        response.set_content(body, contentType);
    });
}

void LocalHttpServer::serveFolder(const std::string& urlPrefix,
                                  const std::filesystem::path& folder) {
    Route route = [urlPrefix, folder](const httplib::Request& request,
                                      httplib::Response& response) {
        const std::filesystem::path file = folder / request.path.substr(urlPrefix.size());
        if (request.path.find("..") != std::string::npos ||
            !std::filesystem::is_regular_file(file)) {
            response.status = 404;
            response.set_content("no such file", "text/plain");
            return;
        }
        response.set_content(readWholeFile(file), "application/octet-stream");
    };
    const std::lock_guard lock(state_->mutex);
    state_->prefixRoutes.emplace_back(urlPrefix, std::move(route));
}

namespace {

// Byte at position p: (p * 7 + (p >> 8) * 13 + (p >> 16)) mod 256, which varies with the
// position at several scales so a misplaced block shows. It repeats every 2^24 bytes, so one
// period, built once, serves any offset without computing or copying per request.
constexpr std::uint64_t kPatternPeriod = std::uint64_t{1} << 24;

const std::string& Pattern() {
    static const std::string pattern = [] {
        std::string bytes(kPatternPeriod, '\0');
        for (std::uint64_t p = 0; p < kPatternPeriod; ++p)
            bytes[p] =
                static_cast<char>(static_cast<std::uint8_t>(p * 7 + (p >> 8) * 13 + (p >> 16)));
        return bytes;
    }();
    return pattern;
}

// The longest stretch of the pattern from `offset` that needs no wrap, at most `count`.
std::string_view PatternAt(std::uint64_t offset, std::size_t count) {
    const std::uint64_t at = offset % kPatternPeriod;
    return std::string_view(Pattern()).substr(at,
                                              std::min<std::uint64_t>(count, kPatternPeriod - at));
}

}  // namespace

std::string LocalHttpServer::generatedBytes(std::uint64_t offset, std::size_t count) {
    std::string bytes;
    bytes.reserve(count);
    while (bytes.size() < count) bytes += PatternAt(offset + bytes.size(), count - bytes.size());
    return bytes;
}

void LocalHttpServer::serveGenerated(const std::string& path, std::uint64_t size) {
    Pattern();  // built before the first request, not during it
    state_->add(path, [size](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(
            size, "application/octet-stream",
            [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                const std::string_view slice = PatternAt(offset, std::min(length, kSliceBytes));
                return sink.write(slice.data(), slice.size());
            });
    });
}

void LocalHttpServer::serveStatus(const std::string& path, int status, std::string body) {
    state_->add(path, [status, body = std::move(body)](const httplib::Request&,
                                                       httplib::Response& response) {
        response.status = status;
        response.set_content(body, "text/plain");
    });
}

void LocalHttpServer::serveRedirect(const std::string& path, const std::string& location,
                                    int status) {
    state_->add(path, [location, status](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(location, status);
    });
}

void LocalHttpServer::serveTruncated(const std::string& path, std::string body,
                                     std::size_t sentBytes) {
    state_->add(path, [body = std::move(body), sentBytes](const httplib::Request&,
                                                          httplib::Response& response) {
        response.set_content_provider(
            body.size(), "application/octet-stream",
            [body, sentBytes](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset >= sentBytes) return false;  // closes the connection
                const std::size_t count = std::min(length, sentBytes - offset);
                return sink.write(body.data() + offset, count);
            });
    });
}

void LocalHttpServer::serveStall(const std::string& path, std::string firstBytes,
                                 std::uint64_t declaredLength) {
    State* const state = state_.get();
    state_->add(path, [state, firstBytes = std::move(firstBytes), declaredLength](
                          const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(
            declaredLength, "application/octet-stream",
            [state, firstBytes](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < firstBytes.size())
                    return sink.write(firstBytes.data() + offset, firstBytes.size() - offset);
                state->waitForStop();
                return false;
            });
    });
}

void LocalHttpServer::serveHang(const std::string& path) {
    State* const state = state_.get();
    state_->add(path, [state](const httplib::Request&, httplib::Response& response) {
        state->waitForStop();
        response.status = 503;
    });
}

// Hands out a body in slices, so a client sees it arrive piece by piece.
static auto SliceProvider(std::string body) {
    return [body = std::move(body)](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= body.size()) {
            sink.done();
            return true;
        }
        const std::size_t count = std::min(body.size() - offset, kSliceBytes);
        return sink.write(body.data() + offset, count);
    };
}

void LocalHttpServer::serveUnsized(const std::string& path, std::string body) {
    state_->add(path,
                [body = std::move(body)](const httplib::Request&, httplib::Response& response) {
                    response.set_content_provider("application/octet-stream", SliceProvider(body));
                });
}

void LocalHttpServer::serveChunked(const std::string& path, std::string body) {
    state_->add(
        path, [body = std::move(body)](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("application/octet-stream", SliceProvider(body));
        });
}

void LocalHttpServer::serveThrottled(const std::string& path, std::uint64_t size,
                                     std::uint64_t bytesPerSecond) {
    State* const state = state_.get();
    const std::size_t perTick = std::max<std::uint64_t>(1, bytesPerSecond * kThrottleTick / 1s);
    state_->add(path, [state, size, perTick](const httplib::Request&, httplib::Response& response) {
        // The answer ends for the count just before its last slice goes out: a client that
        // asks again only once an answer has arrived can never be seen with two under way.
        auto under = std::make_shared<bool>(true);
        state->throttledBegins();
        const auto end = [state, under] {
            if (std::exchange(*under, false)) state->throttledEnds();
        };
        response.set_content_provider(
            size, "application/octet-stream",
            [state, perTick, end](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                const std::string slice = generatedBytes(offset, std::min(length, perTick));
                if (slice.size() == length) end();
                if (!sink.write(slice.data(), slice.size())) return false;
                return !state->sleepOrStop(kThrottleTick);
            },
            [end](bool) { end(); });
    });
}

void LocalHttpServer::serveGated(const std::string& path, std::string body,
                                 std::function<bool()> open) {
    State* const state = state_.get();
    auto shared = std::make_shared<const std::string>(std::move(body));
    state_->add(path, [state, shared, open = std::move(open)](const httplib::Request&,
                                                              httplib::Response& response) {
        response.set_content_provider(
            shared->size(), "application/octet-stream",
            [state, shared, open](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                const bool whole = open();
                const std::size_t count = whole ? length : 1;
                if (!sink.write(shared->data() + offset, count)) return false;
                return whole || !state->sleepOrStop(kThrottleTick);
            });
    });
}

int LocalHttpServer::mostThrottledAtOnce() const {
    const std::lock_guard lock(state_->mutex);
    return state_->throttledMost;
}

void LocalHttpServer::serveResponder(const std::string& path,
                                     std::function<CannedReply(const ReceivedRequest&)> responder) {
    state_->add(path, [responder = std::move(responder)](const httplib::Request& request,
                                                         httplib::Response& response) {
        ReceivedRequest seen{request.method, request.path, {}};
        for (const auto& [key, value] : request.headers) seen.headers.emplace_back(key, value);
        const CannedReply reply = responder(seen);
        response.status = reply.status;
        for (const auto& [key, value] : reply.headers) response.set_header(key, value);
        response.set_content(reply.body, reply.contentType);
    });
}

std::vector<ReceivedRequest> LocalHttpServer::requests() const {
    const std::lock_guard lock(state_->mutex);
    return state_->log;
}

std::vector<std::string> LocalHttpServer::requestedTargets() const {
    std::vector<std::string> targets;
    for (const auto& request : requests()) targets.push_back(request.target);
    return targets;
}

int LocalHttpServer::requestCount(std::string_view target) const {
    const auto all = requestedTargets();
    return static_cast<int>(std::count(all.begin(), all.end(), target));
}

int LocalHttpServer::tlsConnections() const {
    return state_->tlsConnections.load();
}

void LocalHttpServer::clearRequests() {
    const std::lock_guard lock(state_->mutex);
    state_->log.clear();
}

std::string LocalHttpServer::refusedUrl(std::string_view path) {
    int port = 0;
    const int fd = bindLoopbackSocket(port);
    if (fd < 0) throw std::runtime_error("LocalHttpServer: cannot bind 127.0.0.1");
    // Bound but never listening, then closed: the kernel refuses connections to it.
    ::close(fd);
    return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

SilentPort::SilentPort() {
    socket_ = bindLoopbackSocket(port_);
    if (socket_ < 0 || ::listen(socket_, 16) != 0)
        throw std::runtime_error("SilentPort: cannot listen on 127.0.0.1");
}

SilentPort::~SilentPort() {
    if (socket_ >= 0) ::close(socket_);
}

std::string SilentPort::url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace testsupport
