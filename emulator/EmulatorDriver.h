// The POD emulator behind the port interface: lists the configured devices,
// opens the POD, and carries bytes between the PC and the firmware model, with
// the vendor driver's queues and read time-out measured on a Clock.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "emulator/EmulatorConfig.h"
#include "emulator/PodFirmware.h"
#include "pod/Clock.h"
#include "pod/PortDriver.h"

// How the PC has set the bridge up: the line as last configured, and the
// latency timer, which an open does not reset.
struct LineSettings : PortSettings {
  uint8_t latencyMs = 16;
  uint32_t latencyWrites = 0;  // SetLatency calls since the device was plugged in
};

class EmulatorDriver final : public PortDriver {
 public:
  // `clock` must outlive the driver; a fake clock makes every wait instant.
  explicit EmulatorDriver(Clock& clock, EmulatorConfig config = {});
  ~EmulatorDriver() override;
  EmulatorDriver(const EmulatorDriver&) = delete;
  EmulatorDriver& operator=(const EmulatorDriver&) = delete;

  // False when the POD's state file exists but cannot be read; LoadError() says why.
  bool Load() override;
  void Unload() override;
  std::string Name() const override { return "emulator"; }
  const std::string& LoadError() const { return firmware_.Store().LoadError(); }

  // The present devices, in the configured order.
  std::vector<PortDetails> ListPorts() override;
  // Opens the first present device that matches; only the POD opens, once.
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override;
  // The POD's state file is held by another process.
  std::string PortBusy() const override { return portBusy_; }

  // --- For tests and demos ---
  TargetBoard& Target() { return firmware_.Target(); }
  SerialFlashStore& Store() { return firmware_.Store(); }
  FaultPlan& Faults() { return firmware_.Faults(); }
  const std::vector<TranscriptEntry>& Transcript() const { return firmware_.Transcript(); }
  const LineSettings& Line() const { return line_; }
  bool IsOpen() const { return open_; }
  // Pulls the POD's USB cable; Replug() puts it back, the POD freshly powered.
  void Unplug();
  void Replug();

 private:
  struct TimedByte {
    char byte;
    uint64_t atNs;  // when it reaches the far end (POD) or the PC's receive queue
  };

  // Nanoseconds since the driver was made: the clock's time and the fraction of
  // a millisecond the model has run ahead of it.
  uint64_t NowNs();
  // Lets the model's time reach `ns`. The clock sleeps only the whole
  // milliseconds that are due; the rest is carried to the next wait, so short
  // waits cost their own length and not a millisecond each.
  void WaitUntil(uint64_t ns);
  // Hands the POD every byte that has reached it by now and queues its replies.
  void Advance();
  void QueueReply(const PodFirmware::Response& response, uint64_t frameEndNs);
  uint32_t ArrivedCount(uint64_t nowNs) const;
  bool LineSetUp() const;
  void DropQueues();
  // What both a close and a pulled cable end: the queues, and the claim on
  // the POD's state, which is saved.
  void LetGoOfThePod();
  // The indices into the configured devices of those attached now.
  std::vector<size_t> PresentDevices() const;
  bool Matches(size_t device, const PortKey& key) const;

  // The port the POD is open as; it carries its calls to what follows.
  class PodPort;
  // Checks that `session` is the open one and the cable is in, then brings
  // the line up to date.
  PortStatus Ready(uint64_t session);
  // The open port's calls, once Ready() has passed.
  PortStatus Configure(const PortSettings& settings);
  PortStatus SetLatency(uint8_t milliseconds);
  PortStatus Write(const void* bytes, uint32_t length, uint32_t& written);
  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned);
  void Purge(uint32_t which);
  // Closes the port of `session`; nothing when a later open or a replug has
  // replaced it.
  void Close(uint64_t session);

  Clock& clock_;
  EmulatorConfig config_;
  PodFirmware firmware_;
  LineSettings line_;
  bool plugged_ = true;
  bool open_ = false;
  std::string portBusy_;
  uint64_t session_ = 0;  // counts the opens, so that a stale port fails

  uint32_t lastTickMs_;
  uint64_t clockNs_ = 0;  // the clock's time since the driver was made
  uint64_t aheadNs_ = 0;  // how far the model is ahead of the clock, under 1 ms
  uint64_t nowNs_ = 0;    // clockNs_ + aheadNs_ as of the last look at the clock
  std::deque<TimedByte> toPod_;
  std::deque<TimedByte> toPc_;
  uint64_t txLineFreeNs_ = 0;  // when the PC-to-POD line is idle again
  uint64_t rxLineFreeNs_ = 0;
  uint64_t podFreeNs_ = 0;  // when the POD has finished its work so far
};
