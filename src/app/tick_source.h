#pragma once

namespace chronvane {

// The repeating 100 ms tick, as a file descriptor any event loop can watch (poll in
// the console, QSocketNotifier in the window). A timerfd on CLOCK_REALTIME with
// absolute expiries on the wall clock's period slots (..., x.900, y.000, y.100, ...),
// so one expiry comes right after each change of second and the message leaves
// within a fraction of a millisecond of it. When the clock is set, the timer is
// re-armed on the new slots (TFD_TIMER_CANCEL_ON_SET).
class TickSource {
  public:
    TickSource() = default;
    ~TickSource();
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;

    // Starts ticking every periodMs (1 to 1000). Returns false and keeps errno in
    // lastError() when no timer can be had; the source is then stopped.
    bool start(int periodMs);
    // Stops and releases the timer; harmless when stopped.
    void stop();
    bool isRunning() const { return m_fd >= 0; }
    // Readable when an expiry is due; -1 while stopped.
    int fd() const { return m_fd; }
    // Call when fd() is readable: consumes what is pending and re-arms after a clock
    // change. Returns true when the caller should tick (once, however many expiries
    // were pending: seconds are never made up). Never blocks.
    bool acknowledge();
    int lastError() const { return m_lastError; }

  private:
    bool arm();

    int m_fd = -1;
    int m_periodMs = 0;
    int m_lastError = 0;
};

}  // namespace chronvane
