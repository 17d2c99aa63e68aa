// The vendor's D2XX library as a driver backend, loaded at run time by file
// name so that the program builds and starts without it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pod/D2xxLibrary.h"
#include "pod/PortDriver.h"

// The library's functions, once found.
struct D2xxApi;

class D2xxDriver final : public PortDriver {
 public:
  explicit D2xxDriver(std::string libraryFile = kD2xxLibraryFile);
  ~D2xxDriver() override;
  D2xxDriver(const D2xxDriver&) = delete;
  D2xxDriver& operator=(const D2xxDriver&) = delete;

  // Fails when the library is missing or lacks any function the link needs.
  // A bare file name is looked for only where the system keeps its libraries
  // (on Windows System32, never the program's or the current folder); a path
  // is loaded as given. Once loaded it stays for the life of the process.
  bool Load() override;
  // Lets go of the library's functions; the library itself stays loaded.
  void Unload() override;
  std::string LoadProblem() const override { return loadProblem_; }
  std::string LoadedFrom() const override;
  std::string Name() const override { return "d2xx"; }

  std::vector<PortDetails> ListPorts() override;
  PortStatus Open(const PortKey& key, std::unique_ptr<Port>& port) override;

 private:
  // FT_ListDevices by index for one field (description or serial number);
  // true when it gave one.
  bool ListByIndex(uint32_t index, uint32_t field, std::string& text);

  std::string libraryFile_;
  std::string loadProblem_;
  std::shared_ptr<const D2xxApi> api_;
};
