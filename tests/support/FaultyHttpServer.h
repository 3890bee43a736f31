#pragma once
// One file over plain HTTP/1.1 on 127.0.0.1 that misbehaves on purpose: it has a strong
// ETag and a Repr-Digest, honours Range and If-Range, and each request takes the next step
// of a script (cut after some bytes, stall, 503, ignore Range, short body, lying parts...).
// Past the script it answers well. Every connection is closed after its answer. A second
// address, 127.0.0.2, plays another host: it serves another file under the same ETag and
// never takes a step of the script.
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
        CutAfter,           // sends `bytes` (> 0: Qt quietly resends after a bare cut) and closes
        Stall,              // sends `bytes` of the body, then nothing until stop()
        Hold,               // sends `bytes` of the body, the rest only after release()
        Unavailable,        // 503 with Retry-After: `bytes` seconds
        IgnoreRange,        // the whole file with 200 whatever was asked, cut after `bytes` if set
        ShortBody,          // declares `bytes` more than the rest of the file, sends the rest
        WrongDigest,        // a well-formed digest of other bytes
        Status,             // status `bytes` (204, 205...) with an empty body
        Gzip,               // the file as a gzip-encoded body nobody asked for
        Trickle,            // sends `bytes` of the body one at a time, slowly, then closes
        ChunkedCut,         // chunked body closed after `bytes` without its last chunk
        RedirectElsewhere,  // 302 to the other host, Range and all
        RedirectHere,       // 302 with Content-Length: 0 to this address again
        DoubledLength,      // two Content-Length fields: 0 and the right one
        // A 206 whatever the request; `bytes` and the fields below shape it.
        PartShort,       // "bytes from-(from+bytes-1)/size": ends early, honestly labelled
        PartOtherTotal,  // "bytes from-(bytes-1)/bytes": a total that disagrees
        PartOpenCut,     // "bytes from-(size-1)/*" without Content-Length, cut after `bytes`
        PartMalformed,   // Content-Range "bytes from-/size"
    };
    struct Step {
        Step(Fault fault = Fault::None, std::uint64_t bytes = 0) : fault(fault), bytes(bytes) {}
        Step withoutValidator() const { return with(&Step::noValidator); }
        Step withoutDigest() const { return with(&Step::noDigest); }
        Step corrupted() const { return with(&Step::corrupt); }
        Step withDigest(std::string value) const {
            Step step = *this;
            step.reprDigest = std::move(value);
            return step;
        }
        Step withReason(std::string value) const {
            Step step = *this;
            step.reason = std::move(value);
            return step;
        }

        Fault fault;
        std::uint64_t bytes;
        bool noValidator = false;  // no ETag
        bool noDigest = false;     // no Repr-Digest
        bool corrupt = false;      // one byte of the body flipped
        std::string reprDigest;    // sent instead of the file's Repr-Digest when not empty
        std::string reason;        // a 503's reason phrase when not empty

      private:
        Step with(bool Step::*flag) const {
            Step step = *this;
            step.*flag = true;
            return step;
        }
    };

    FaultyHttpServer();
    ~FaultyHttpServer();
    FaultyHttpServer(const FaultyHttpServer&) = delete;
    FaultyHttpServer& operator=(const FaultyHttpServer&) = delete;

    std::string url() const;  // the file's address; any path serves it
    std::string otherHostUrl() const;
    // The other host's file (same ETag, other bytes); empty: it answers 404.
    void setOtherFile(std::string body);
    // Replaces the file; `withDigest` adds its sha-256 as Repr-Digest.
    void setFile(std::string body, std::string etag, bool withDigest = true);
    void script(std::vector<Step> steps);  // replaces what is left of the script
    // The Range header of every request to 127.0.0.1 so far ("" when none), in order.
    std::vector<std::string> ranges() const;
    std::uint64_t bodyBytesSent() const;
    // Lets every Hold, now and later, send the rest of its body.
    void release();
    // Ends stalls and closes everything; safe to call twice.
    void stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace testsupport
