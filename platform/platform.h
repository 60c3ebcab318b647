// The set of operating-system concepts that product objects receive.
#pragma once

namespace ov::platform {

class Registry;
class SystemInfo;
class FileSystem;
class UserInteraction;
class Clock;
class ServiceControl;
class Modules;
class FileIo;
class TextFiles;
class TextFile;

// Every product object takes the concepts it uses from here. Nothing in the product reaches
// the OS any other way, so a test composes a Platform from sim parts (or mixes real and sim)
// and the shipped build composes it from the Win32 parts. Members a piece of code does not
// use may stay null.
struct Platform {
  Registry* registry = nullptr;
  SystemInfo* system = nullptr;
  FileSystem* files = nullptr;
  UserInteraction* ui = nullptr;
  Clock* clock = nullptr;
  ServiceControl* services = nullptr;
  Modules* modules = nullptr;
  FileIo* fileIo = nullptr;
  TextFiles* textFiles = nullptr;
};

}  // namespace ov::platform
