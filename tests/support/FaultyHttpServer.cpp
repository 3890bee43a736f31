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
#include <deque>
#include <mutex>
#include <stdexcept>
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
    int port = 0;
    std::thread acceptor;
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::vector<std::thread> workers;
    std::vector<int> clients;
    std::shared_ptr<const std::string> body = std::make_shared<const std::string>();
    std::string etag;
    std::string digest;
    std::string wrongDigest;
    std::deque<Step> steps;
    std::vector<std::string> ranges;
    std::atomic<std::uint64_t> sent{0};

    void serve(int fd);
    void answer(int fd, const std::string& request);
};

void FaultyHttpServer::State::serve(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    answer(fd, request);
    ::shutdown(fd, SHUT_RDWR);
}

void FaultyHttpServer::State::answer(int fd, const std::string& request) {
    const std::string range = headerValue(request, "Range");
    const std::string ifRange = headerValue(request, "If-Range");
    std::unique_lock lock(mutex);
    ranges.push_back(range);
    const Step step = steps.empty() ? Step{} : steps.front();
    if (!steps.empty()) steps.pop_front();
    const std::shared_ptr<const std::string> held = body;  // the test may replace it meanwhile
    const std::string& file = *held;
    const std::string fileDigest = step.fault == Fault::WrongDigest ? wrongDigest : digest;
    const std::string tag = etag;
    lock.unlock();

    if (step.fault == Fault::Unavailable) {
        const std::string head =
            "HTTP/1.1 503 Service Unavailable\r\nRetry-After: " + std::to_string(step.bytes) +
            "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        if (sendAll(fd, head.data(), head.size())) letClientRead(fd);
        return;
    }
    std::uint64_t from = 0;
    const bool ranged = range.starts_with("bytes=") && step.fault != Fault::IgnoreRange &&
                        (ifRange.empty() || ifRange == tag);
    if (ranged) from = std::stoull(range.substr(6));
    if (ranged && from >= file.size()) {
        const std::string head = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                                 std::to_string(file.size()) +
                                 "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        if (sendAll(fd, head.data(), head.size())) letClientRead(fd);
        return;
    }
    const std::uint64_t rest = file.size() - from;
    const std::uint64_t declared = rest + (step.fault == Fault::ShortBody ? step.bytes : 0);
    std::string head = ranged ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    if (ranged)
        head += "Content-Range: bytes " + std::to_string(from) + "-" +
                std::to_string(file.size() - 1) + "/" + std::to_string(file.size()) + "\r\n";
    head += "ETag: " + tag + "\r\nContent-Length: " + std::to_string(declared) + "\r\n";
    if (!fileDigest.empty()) head += "Repr-Digest: " + fileDigest + "\r\n";
    head += "Connection: close\r\n\r\n";
    const bool cuts = step.fault == Fault::CutAfter || step.fault == Fault::Stall ||
                      (step.fault == Fault::IgnoreRange && step.bytes > 0);
    const std::uint64_t count = cuts ? std::min(step.bytes, rest) : rest;
    if (!sendAll(fd, head.data(), head.size())) return;
    // A cut that comes with the head looks to Qt like a connection lost before the answer,
    // which it quietly sends again; once it has read the head, a cut is a cut.
    if (count < declared) letClientRead(fd);
    if (!sendAll(fd, file.data() + from, count)) return;
    sent += count;
    if (step.fault != Fault::Stall) letClientRead(fd);
    if (step.fault == Fault::Stall) {
        lock.lock();
        wake.wait(lock, [this] { return stopping; });
    }
}

FaultyHttpServer::FaultyHttpServer() : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (state.listener < 0 ||
        ::bind(state.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(state.listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::listen(state.listener, 16) != 0)
        throw std::runtime_error("FaultyHttpServer: cannot listen on 127.0.0.1");
    state.port = ntohs(address.sin_port);
    state.acceptor = std::thread([&state] {
        for (;;) {
            const int fd = ::accept4(state.listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            const std::lock_guard lock(state.mutex);
            if (state.stopping) {
                ::close(fd);
                return;
            }
            state.clients.push_back(fd);
            state.workers.emplace_back([&state, fd] { state.serve(fd); });
        }
    });
}

FaultyHttpServer::~FaultyHttpServer() {
    stop();
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
    state.acceptor.join();
    for (std::thread& worker : state.workers) worker.join();
    for (const int fd : state.clients) ::close(fd);
    ::close(state.listener);
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
