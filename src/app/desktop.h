// Desktop helpers: show a folder or a file in the file manager, open a file or an address,
// shut the computer down.
//
// They reach the desktop through one DesktopServices object so that tests (and any front end
// without a desktop) can put their own in its place; nothing here may shut a test machine
// down. The default speaks the freedesktop interfaces: the file manager's
// org.freedesktop.FileManager1 on the session bus (falling back to opening the folder), the
// URL handlers through QDesktopServices, and logind's PowerOff on the system bus. None of them
// waits for the program it starts. User-interface thread only.
#pragma once

#include <QUrl>
#include <cstdint>
#include <memory>
#include <string>

namespace zembra::app {

class DesktopServices {
 public:
  virtual ~DesktopServices() = default;
  // Shows the folder `path`; `with_tree` asks for the folder tree beside it where the file
  // manager has a choice.
  virtual void ExploreFolder(const std::string& path, bool with_tree) = 0;
  // Shows the folder of `path` with that file selected.
  virtual void ExploreFile(const std::string& path, bool with_tree) = 0;
  // Opens a file, a folder or a web address with the desktop's default application.
  virtual void ShellOpen(const std::string& target) = 0;
  // Asks the system to power off; a refusal is reported as a diagnostic and otherwise ignored.
  virtual void ShutdownComputer() = 0;
};

// The freedesktop implementation.
std::unique_ptr<DesktopServices> MakeFreedesktopServices();

// The services the helpers below use: those installed last, the freedesktop ones otherwise.
DesktopServices& Desktop();
// Installs `services` and returns the ones installed before (null when none were); null
// brings the freedesktop implementation back.
std::unique_ptr<DesktopServices> SetDesktop(std::unique_ptr<DesktopServices> services);

void ExploreFolder(const std::string& path, bool with_tree = true);
void ExploreFile(const std::string& path, bool with_tree = true);
void ShellOpen(const std::string& target);
void ShutdownComputer();

// The size in bytes of the file at `path` (a link counts as what it names); 0 when there is no
// such file or it is not a regular file.
std::int64_t FileSizeOf(const std::string& path);

// What ShellOpen hands to the desktop: an existing file as a local path, an address with a
// scheme as it is, anything else as a local path (relative to the working folder).
QUrl ShellUrl(const std::string& target);

}  // namespace zembra::app
