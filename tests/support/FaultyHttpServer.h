#pragma once
// One file over plain HTTP/1.1 on 127.0.0.1 that misbehaves on purpose: it has a strong
// ETag and a Repr-Digest, honours Range and If-Range, and each request takes the next step
// of a script (cut after some bytes, stall, 503, ignore Range, short body...). Past the
// script it answers well. Every connection is closed after its answer.
//
//   FaultyHttpServer server;
//   server.setFile(body, "\"v1\"");
//   server.script({{Fault::CutAfter, 1000}, {Fault::Unavailable}});
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class FaultyHttpServer {
  public:
    enum class Fault {
        None,
        CutAfter,     // sends `bytes` (> 0: Qt quietly resends after a bare cut) and closes
        Stall,        // sends `bytes` of the body, then nothing until stop()
        Unavailable,  // 503 with Retry-After: `bytes` seconds
        IgnoreRange,  // the whole file with 200 whatever was asked, cut after `bytes` if set
        ShortBody,    // declares `bytes` more than the rest of the file, sends the rest
        WrongDigest,  // a well-formed digest of other bytes
    };
    struct Step {
        Fault fault = Fault::None;
        std::uint64_t bytes = 0;
    };

    FaultyHttpServer();
    ~FaultyHttpServer();
    FaultyHttpServer(const FaultyHttpServer&) = delete;
    FaultyHttpServer& operator=(const FaultyHttpServer&) = delete;

    std::string url() const;  // the file's address; any path serves it
    // Replaces the file; `withDigest` adds its sha-256 as Repr-Digest.
    void setFile(std::string body, std::string etag, bool withDigest = true);
    void script(std::vector<Step> steps);  // replaces what is left of the script
    // The Range header of every request so far ("" when none), in order.
    std::vector<std::string> ranges() const;
    std::uint64_t bodyBytesSent() const;
    // Ends stalls and closes everything; safe to call twice.
    void stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace testsupport
