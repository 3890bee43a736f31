#include "platform/Writeback.h"

namespace platform {

// Windows has no call that starts writing a file range without waiting; the final flush
// does all the work there.
void StartWriteback(int, std::int64_t, std::int64_t) {}

}  // namespace platform
