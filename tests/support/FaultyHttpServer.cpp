#include "support/FaultyHttpServer.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace testsupport {

namespace {

std::string headerValue(const std::string& request, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const auto at = request.find(key);
    if (at == std::string::npos) return {};
    const auto start = at + key.size();
    return request.substr(start, request.find("\r\n", start) - start);
}

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, std::min<std::size_t>(size, 1 << 20), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Before a cut: lets the client take in what was sent, so that it sees a cut transfer and
// not a connection that failed before answering (which Qt quietly sends again).
void letClientRead(int fd) {
    using namespace std::chrono_literals;
    for (int waited = 0; waited < 400; ++waited) {
        int unsent = 0;
        if (::ioctl(fd, SIOCOUTQ, &unsent) != 0 || unsent == 0) break;
        std::this_thread::sleep_for(5ms);
    }
    std::this_thread::sleep_for(100ms);
}

std::string digestOf(const std::string& bytes) {
    const QByteArray hash = QCryptographicHash::hash(QByteArrayView(bytes.data(), bytes.size()),
                                                     QCryptographicHash::Sha256);
    return "sha-256=:" + hash.toBase64().toStdString() + ":";
}

}  // namespace

struct FaultyHttpServer::State {
    int listener = -1;
    int otherListener = -1;
    int port = 0;
    int otherPort = 0;
    std::thread acceptor;
    std::thread otherAcceptor;
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool released = false;
    std::vector<std::thread> workers;
    std::vector<int> clients;
    std::shared_ptr<const std::string> body = std::make_shared<const std::string>();
    std::shared_ptr<const std::string> otherBody = std::make_shared<const std::string>();
    std::string etag;
    std::string digest;
    std::string wrongDigest;
    std::deque<Step> steps;
    std::vector<std::string> ranges;
    std::atomic<std::uint64_t> sent{0};

    void accept(int fd, bool other);
    void serve(int fd, bool other);
    void answer(int fd, const std::string& request, bool other);
    bool sendBody(int fd, std::string_view bytes);
};

void FaultyHttpServer::State::serve(int fd, bool other) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    answer(fd, request, other);
    ::shutdown(fd, SHUT_RDWR);
}

bool FaultyHttpServer::State::sendBody(int fd, std::string_view bytes) {
    if (!sendAll(fd, bytes.data(), bytes.size())) return false;
    sent += bytes.size();
    return true;
}

void FaultyHttpServer::State::answer(int fd, const std::string& request, bool other) {
    const std::string range = headerValue(request, "Range");
    const std::string ifRange = headerValue(request, "If-Range");
    std::unique_lock lock(mutex);
    Step step;
    if (!other) {
        ranges.push_back(range);
        if (!steps.empty()) {
            step = steps.front();
            steps.pop_front();
        }
    }
    // The test may replace the files meanwhile.
    const std::shared_ptr<const std::string> held = other ? otherBody : body;
    std::string file = *held;
    std::string fileDigest = step.fault == Fault::WrongDigest ? wrongDigest : digest;
    if (other) fileDigest.clear();  // nothing that would give its bytes away
    if (step.noDigest) fileDigest.clear();
    if (!step.reprDigest.empty()) fileDigest = step.reprDigest;
    const std::string tag = etag;
    const std::string elsewhere =
        "http://127.0.0.2:" + std::to_string(otherPort) + "/elsewhere/file.bin";
    const std::string again = "http://127.0.0.1:" + std::to_string(port) + "/again/file.bin";
    lock.unlock();

    const auto bare = [fd](const std::string& head) {
        if (sendAll(fd, head.data(), head.size())) letClientRead(fd);
    };
    if (other && file.empty()) return bare("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    switch (step.fault) {
        case Fault::Unavailable:
            return bare("HTTP/1.1 503 " +
                        (step.reason.empty() ? "Service Unavailable" : step.reason) +
                        "\r\nRetry-After: " + std::to_string(step.bytes) +
                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        case Fault::Status:
            return bare("HTTP/1.1 " + std::to_string(step.bytes) + " Nothing\r\nETag: " + tag +
                        (step.bytes == 204 ? "" : "\r\nContent-Length: 0") +
                        "\r\nConnection: close\r\n\r\n");
        case Fault::RedirectElsewhere:
        case Fault::RedirectHere:
            return bare("HTTP/1.1 302 Found\r\nLocation: " +
                        (step.fault == Fault::RedirectHere ? again : elsewhere) +
                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        default:
            break;
    }
    std::uint64_t from = 0;
    const bool asked = range.starts_with("bytes=") && (ifRange.empty() || ifRange == tag);
    if (asked) from = std::stoull(range.substr(6));
    const bool lyingPart = step.fault >= Fault::PartShort;
    const bool ranged = lyingPart || (asked && step.fault != Fault::IgnoreRange);
    if (ranged && from >= file.size()) {
        return bare("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                    std::to_string(file.size()) +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }
    if (step.corrupt) file[from + (file.size() - from) / 2] ^= 0x55;
    if (step.fault == Fault::Gzip) file = "\x1f\x8b\x08" + file;
    std::uint64_t end = file.size();  // one past the last byte sent
    std::string contentRange = std::to_string(from) + "-" + std::to_string(file.size() - 1) + "/" +
                               std::to_string(file.size());
    switch (step.fault) {
        case Fault::PartShort:
            end = std::min<std::uint64_t>(from + step.bytes, file.size());
            contentRange = std::to_string(from) + "-" + std::to_string(end - 1) + "/" +
                           std::to_string(file.size());
            break;
        case Fault::PartOtherTotal:
            end = step.bytes;
            contentRange = std::to_string(from) + "-" + std::to_string(end - 1) + "/" +
                           std::to_string(step.bytes);
            break;
        case Fault::PartOpenCut:
            contentRange = std::to_string(from) + "-" + std::to_string(file.size() - 1) + "/*";
            break;
        case Fault::PartMalformed:
            contentRange = std::to_string(from) + "-/" + std::to_string(file.size());
            break;
        default:
            break;
    }
    const std::uint64_t rest = end - from;
    const std::uint64_t declared = rest + (step.fault == Fault::ShortBody ? step.bytes : 0);
    std::string head = ranged ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    if (ranged) head += "Content-Range: bytes " + contentRange + "\r\n";
    if (!step.noValidator) head += "ETag: " + tag + "\r\n";
    if (step.fault == Fault::DoubledLength) head += "Content-Length: 0\r\n";
    if (step.fault == Fault::ChunkedCut)
        head += "Transfer-Encoding: chunked\r\n";
    else if (step.fault != Fault::PartOpenCut)
        head += "Content-Length: " + std::to_string(declared) + "\r\n";
    if (step.fault == Fault::Gzip) head += "Content-Encoding: gzip\r\n";
    if (!fileDigest.empty()) head += "Repr-Digest: " + fileDigest + "\r\n";
    head += "Connection: close\r\n\r\n";
    const bool cuts = step.fault == Fault::CutAfter || step.fault == Fault::Stall ||
                      step.fault == Fault::Trickle || step.fault == Fault::ChunkedCut ||
                      step.fault == Fault::PartOpenCut ||
                      (step.fault == Fault::IgnoreRange && step.bytes > 0);
    const std::uint64_t count = cuts ? std::min(step.bytes, rest) : rest;
    if (!sendAll(fd, head.data(), head.size())) return;
    // A cut that comes with the head looks to Qt like a connection lost before the answer,
    // which it quietly sends again; once it has read the head, a cut is a cut.
    if (count < declared || cuts) letClientRead(fd);
    const std::string_view bytes = std::string_view(file).substr(from, count);
    if (step.fault == Fault::Trickle) {
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            if (!sendBody(fd, bytes.substr(at, 1))) return;
            lock.lock();
            const bool stop =
                wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return stopping; });
            lock.unlock();
            if (stop) return;
        }
    } else if (step.fault == Fault::ChunkedCut) {
        for (std::size_t at = 0; at < bytes.size(); at += 4096) {
            const std::string_view chunk = bytes.substr(at, 4096);
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
            if (!sendAll(fd, size, std::strlen(size)) || !sendBody(fd, chunk) ||
                !sendAll(fd, "\r\n", 2))
                return;
        }
    } else if (step.fault == Fault::Hold) {
        const std::string_view first = bytes.substr(0, step.bytes);
        if (!sendBody(fd, first)) return;
        lock.lock();
        wake.wait(lock, [this] { return stopping || released; });
        const bool stop = stopping;
        lock.unlock();
        if (stop || !sendBody(fd, bytes.substr(first.size()))) return;
    } else if (!sendBody(fd, bytes)) {
        return;
    }
    if (step.fault != Fault::Stall) letClientRead(fd);
    if (step.fault == Fault::Stall) {
        lock.lock();
        wake.wait(lock, [this] { return stopping; });
    }
}

namespace {

// A listening socket on `address` (host order) at a port the kernel picks.
int listenOn(std::uint32_t address, int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = htonl(address);
    socklen_t length = sizeof socketAddress;
    if (fd < 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&socketAddress), &length) != 0 ||
        ::listen(fd, 16) != 0)
        throw std::runtime_error("FaultyHttpServer: cannot listen on loopback");
    port = ntohs(socketAddress.sin_port);
    return fd;
}

}  // namespace

void FaultyHttpServer::State::accept(int listening, bool other) {
    for (;;) {
        const int fd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        const std::lock_guard lock(mutex);
        if (stopping) {
            ::close(fd);
            return;
        }
        clients.push_back(fd);
        workers.emplace_back([this, fd, other] { serve(fd, other); });
    }
}

FaultyHttpServer::FaultyHttpServer() : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.listener = listenOn(INADDR_LOOPBACK, state.port);
    state.otherListener = listenOn(INADDR_LOOPBACK + 1, state.otherPort);  // 127.0.0.2
    state.acceptor = std::thread([&state] { state.accept(state.listener, false); });
    state.otherAcceptor = std::thread([&state] { state.accept(state.otherListener, true); });
}

FaultyHttpServer::~FaultyHttpServer() {
    stop();
}

void FaultyHttpServer::release() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->released = true;
    }
    state_->wake.notify_all();
}

void FaultyHttpServer::stop() {
    State& state = *state_;
    {
        const std::lock_guard lock(state.mutex);
        if (state.stopping) return;
        state.stopping = true;
        for (const int fd : state.clients) ::shutdown(fd, SHUT_RDWR);
    }
    state.wake.notify_all();
    ::shutdown(state.listener, SHUT_RDWR);
    ::shutdown(state.otherListener, SHUT_RDWR);
    state.acceptor.join();
    state.otherAcceptor.join();
    // Workers may still be added by nobody now; join them outside the lock.
    for (std::thread& worker : state.workers) worker.join();
    for (const int fd : state.clients) ::close(fd);
    ::close(state.listener);
    ::close(state.otherListener);
}

std::string FaultyHttpServer::otherHostUrl() const {
    return "http://127.0.0.2:" + std::to_string(state_->otherPort) + "/elsewhere/file.bin";
}

void FaultyHttpServer::setOtherFile(std::string body) {
    const std::lock_guard lock(state_->mutex);
    state_->otherBody = std::make_shared<const std::string>(std::move(body));
}

std::string FaultyHttpServer::url() const {
    return "http://127.0.0.1:" + std::to_string(state_->port) + "/file.bin";
}

void FaultyHttpServer::setFile(std::string body, std::string etag, bool withDigest) {
    const std::lock_guard lock(state_->mutex);
    state_->digest = withDigest ? digestOf(body) : std::string();
    state_->wrongDigest = digestOf(body + "x");
    state_->body = std::make_shared<const std::string>(std::move(body));
    state_->etag = std::move(etag);
}

void FaultyHttpServer::script(std::vector<Step> steps) {
    const std::lock_guard lock(state_->mutex);
    state_->steps.assign(steps.begin(), steps.end());
}

std::vector<std::string> FaultyHttpServer::ranges() const {
    const std::lock_guard lock(state_->mutex);
    return state_->ranges;
}

std::uint64_t FaultyHttpServer::bodyBytesSent() const {
    return state_->sent;
}

}  // namespace testsupport
