#pragma once
// For the start-up benchmark's two programs: once the window has painted for the first
// time, print "shown <CLOCK_MONOTONIC nanoseconds>" on stdout and leave the event loop.
class QWidget;

namespace bench {

void ReportFirstPaint(QWidget& window);

}  // namespace bench
