// The byte transport to the POD: finds its USB bridge by description, opens and
// configures it, and offers blocking writes and reads with millisecond time-outs.
#pragma once

#include <cstdint>

#include "pod/Clock.h"
#include "pod/FtdiDriver.h"

enum class OpenStatus : uint8_t { Ok = 0, PortFailed = 1, NoAnswer = 2 };

class PodLink {
 public:
  // The USB description the POD's bridge reports.
  static constexpr char kPodDescription[] = "Brontaflex POD";
  static constexpr uint32_t kBaudRate = 921600;
  static constexpr uint32_t kDriverTimeoutMs = 200;
  // Once a reply has started, each further byte must follow within this time.
  static constexpr uint32_t kInterByteTimeoutMs = 100;

  // Both must outlive the link.
  PodLink(FtdiDriver& driver, Clock& clock);
  ~PodLink();
  PodLink(const PodLink&) = delete;
  PodLink& operator=(const PodLink&) = delete;

  bool LoadDriver();
  // Closes the port first if it is open; the POD must be found again afterwards.
  void UnloadDriver();
  // Searches the attached devices for the POD; once found it is not searched again.
  bool Find();
  // Opens and configures the found POD and pings it.
  OpenStatus Open();
  // Purges and closes the port; the POD stays found.
  void Close();
  // Discards both driver queues.
  void Purge();
  // Sends all `length` bytes and waits up to `timeoutMs` for the transmit queue to drain.
  bool Write(const void* bytes, uint32_t length, uint32_t timeoutMs);
  // Receives exactly `count` bytes: the first within `firstByteTimeoutMs`, every
  // later one within kInterByteTimeoutMs of silence. Bytes beyond `count` stay queued.
  bool Read(void* buffer, uint32_t count, uint32_t firstByteTimeoutMs);
  // The number of received bytes waiting; false when the driver cannot tell.
  bool QueuedInput(uint32_t& waiting);

  bool driverLoaded() const { return driverLoaded_; }
  bool found() const { return found_; }
  bool isOpen() const { return open_; }
  // The description the POD was found under; empty until found.
  const char* description() const { return description_; }
  FtdiDriver& driver() { return driver_; }

 private:
  // Configures the freshly opened device; false at the first call that fails.
  bool ConfigurePort();
  void ReleaseDevice();

  FtdiDriver& driver_;
  Clock& clock_;
  bool driverLoaded_ = false;
  FtHandle device_ = nullptr;
  bool found_ = false;
  bool open_ = false;
  char description_[kFtDescriptionSize] = {};
};
