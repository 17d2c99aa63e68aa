// The byte transport to the POD: finds its USB bridge by description, opens and
// configures it, and offers blocking writes and reads with millisecond time-outs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pod/Clock.h"
#include "pod/FailureCause.h"
#include "pod/PortDriver.h"

class PodLink {
 public:
  // The USB description the POD's bridge reports.
  static constexpr char kPodDescription[] = "Brontaflex POD";
  static constexpr uint32_t kBaudRate = 921600;
  static constexpr uint32_t kDriverTimeoutMs = 200;
  // Once a reply has started, each further byte must follow within this time.
  static constexpr uint32_t kInterByteTimeoutMs = 100;
  // How long a purge or close waits for the bytes already written to leave.
  static constexpr uint32_t kDrainTimeoutMs = 1000;
  // Beyond a frame's own time on the line, what a close grants a frame that
  // got no reply: the driver's queue is empty once the bytes are in the
  // bridge, which still has to clock them out.
  static constexpr uint32_t kLineMarginMs = 1;
  // While it waits for the POD, the link gives the program above a turn at
  // least this often (and once per driver call when a call takes longer).
  static constexpr uint32_t kIdleIntervalMs = 50;

  // Both must outlive the link.
  PodLink(PortDriver& driver, Clock& clock);
  ~PodLink();
  PodLink(const PodLink&) = delete;
  PodLink& operator=(const PodLink&) = delete;

  bool LoadDriver();
  // Closes the port first if it is open; the POD must be found again afterwards.
  void UnloadDriver();
  // From now on only the POD whose USB serial number is `serialNumber` counts,
  // and it is opened by that number; empty: the first POD found, by description.
  void ChooseSerialNumber(std::string serialNumber);
  const std::string& chosenSerialNumber() const { return chosenSerialNumber_; }
  // Searches the attached devices for the POD; once found it is not searched again.
  bool Find();
  // Every attached device that reports the POD's description; none while the
  // driver is not loaded.
  std::vector<PortDetails> AttachedPods();
  // Opens and configures the found POD; true when the port is open (at once
  // when it already was). Whether the POD answers is for the commands to ask.
  bool Open();
  // Lets what was written leave (a frame that got no reply is given its time
  // on the line), discards what was received and closes the port; the POD
  // stays found. Nothing sent is taken back: the last frame is most often the
  // last word to the POD (the end or the abandon of a store).
  void Close();
  // Closes the port without waiting for what was written to leave: for a
  // port just opened whose POD did not answer, where nothing is worth sending.
  void CloseAtOnce();
  // Lets what was written leave, then discards both driver queues.
  void Purge();
  // A command whose frame starts with `frame` begins: the failure of the last
  // one is forgotten, and a failure from here on is blamed on this frame.
  void BeginCommand(char frame);
  // The command's reply came whole but is not what the command expects.
  void NoteWrongReply(std::string received, uint32_t bytesSeen);
  // Why the current (or last) command failed; kind None while nothing failed.
  const FailureCause& failure() const { return failure_; }

  // Sends all `length` bytes and waits up to `timeoutMs` for the transmit queue to drain.
  bool Write(const void* bytes, uint32_t length, uint32_t timeoutMs);
  // Receives exactly `count` bytes: the first within `firstByteTimeoutMs`, every
  // later one within kInterByteTimeoutMs of silence. Bytes beyond `count` stay queued.
  bool Read(void* buffer, uint32_t count, uint32_t firstByteTimeoutMs);
  // The number of received bytes waiting; false when the driver cannot tell.
  bool QueuedInput(uint32_t& waiting);
  // Called while the link waits, so that a window stays answering through a
  // long erase or a silent POD. It must not use the link. Empty: no turns.
  void SetIdleHook(std::function<void()> hook) { idleHook_ = std::move(hook); }
  // Asked on every turn of a wait for the POD: true ends the wait at once as
  // Stopped, so that a stop the user asked for never waits out a silent POD.
  // Empty: waits run to their time-outs.
  void SetStopCheck(std::function<bool()> stopRequested) {
    stopRequested_ = std::move(stopRequested);
  }

  bool driverLoaded() const { return driverLoaded_; }
  bool found() const { return found_; }
  bool isOpen() const { return open_; }
  // The description the POD was found under; empty until found.
  const char* description() const { return description_.c_str(); }
  // The latency timer as read back after the last open set it up; 0 before.
  // Anything but 1 ms slows each reply down but does not stop the link.
  uint8_t latencyMs() const { return latencyMs_; }
  // Why the latency timer is not 1 ms, in the driver's words where it said
  // more than its status; empty when it is 1 ms.
  const std::string& latencyProblem() const { return latencyProblem_; }
  PortDriver& driver() { return driver_; }

 private:
  // Configures the freshly opened port; the status of the first call that fails.
  PortStatus ConfigurePort();
  // Notes a failure of the write or read under way; always false.
  bool Failed(FailureKind kind, bool sending);
  // The same for a driver call that returned `status`.
  bool DriverFailed(PortStatus status, bool sending);
  // Waits up to kDrainTimeoutMs for the bytes written to leave. Leaves the
  // failure of the last command as it was: the drain only precedes a purge.
  void DrainOutput();
  // Sets the latency timer to 1 ms where it is not, and reads it back.
  PortStatus SetUpLatency();
  // Waits until a frame written last, with no reply read since, has had its
  // time on the line after it left the driver's queue.
  void AwaitLineTime();
  // Runs the idle hook when kIdleIntervalMs have passed since its last turn.
  void GiveIdleTurn();
  bool StopRequested() const { return stopRequested_ && stopRequested_(); }

  PortDriver& driver_;
  Clock& clock_;
  bool driverLoaded_ = false;
  std::unique_ptr<Port> port_;
  bool found_ = false;
  bool open_ = false;
  std::string description_;
  std::string chosenSerialNumber_;
  FailureCause failure_;
  // When the write or read under way began.
  uint32_t ioStartMs_ = 0;
  // The bytes of the last write when no read has followed it, and when the
  // driver's transmit queue was last seen empty.
  uint32_t unansweredBytes_ = 0;
  uint32_t drainedAtMs_ = 0;
  uint8_t latencyMs_ = 0;
  std::string latencyProblem_;
  std::function<void()> idleHook_;
  std::function<bool()> stopRequested_;
  uint32_t lastIdleMs_ = 0;
};
