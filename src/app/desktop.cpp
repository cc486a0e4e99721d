#include "app/desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <system_error>
#include <utility>

#include "media/reporting.h"

namespace zembra::app {
namespace {

constexpr char kFileManagerService[] = "org.freedesktop.FileManager1";
constexpr char kFileManagerPath[] = "/org/freedesktop/FileManager1";
constexpr char kLoginService[] = "org.freedesktop.login1";
constexpr char kLoginPath[] = "/org/freedesktop/login1";
constexpr char kLoginManager[] = "org.freedesktop.login1.Manager";

QString ToQString(const std::string& text) { return QString::fromStdString(text); }

QUrl LocalUrl(const std::string& path) {
  return QUrl::fromLocalFile(QFileInfo(ToQString(path)).absoluteFilePath());
}

void OpenUrl(const QUrl& url) {
  if (!QDesktopServices::openUrl(url)) {
    media::ReportDiagnostic("Cannot open " + url.toString().toStdString());
  }
}

// Whether a file manager answers, or can be started, on the session bus. Asked first so that
// the call itself need not wait: a file manager that is slow to start would otherwise
// time the call out and open a second window through the fallback.
bool FileManagerAvailable(QDBusConnection& bus) {
  QDBusConnectionInterface* daemon = bus.interface();
  if (daemon == nullptr) return false;
  const QString name = QLatin1StringView(kFileManagerService);
  const QDBusReply<bool> registered = daemon->isServiceRegistered(name);
  if (registered.isValid() && registered.value()) return true;
  const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
  return activatable.isValid() && activatable.value().contains(name);
}

// Sends `method` with `path` to the file manager without waiting; false when there is none.
bool AskFileManager(const char* method, const std::string& path) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !FileManagerAvailable(bus)) return false;
  QDBusMessage message = QDBusMessage::createMethodCall(
      QLatin1StringView(kFileManagerService), QLatin1StringView(kFileManagerPath),
      QLatin1StringView(kFileManagerService), QLatin1StringView(method));
  message << QStringList{LocalUrl(path).toString()} << QString();
  return bus.send(message);
}

class FreedesktopServices final : public DesktopServices {
 public:
  void ExploreFolder(const std::string& path, bool) override {
    if (!AskFileManager("ShowFolders", path)) OpenUrl(LocalUrl(path));
  }

  void ExploreFile(const std::string& path, bool) override {
    if (AskFileManager("ShowItems", path)) return;
    OpenUrl(QUrl::fromLocalFile(QFileInfo(ToQString(path)).absolutePath()));
  }

  void ShellOpen(const std::string& target) override { OpenUrl(ShellUrl(target)); }

  void ShutdownComputer() override {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1StringView(kLoginService), QLatin1StringView(kLoginPath),
        QLatin1StringView(kLoginManager), QStringLiteral("PowerOff"));
    // Interactive: the system may ask the user to authorise it.
    message << true;
    const QDBusMessage reply = QDBusConnection::systemBus().call(message);
    if (reply.type() == QDBusMessage::ErrorMessage) {
      media::ReportDiagnostic("The system refused to power off: " +
                              reply.errorMessage().toStdString());
    }
  }
};

// Installed services; user-interface thread only.
std::unique_ptr<DesktopServices>& Installed() {
  static std::unique_ptr<DesktopServices> services;
  return services;
}

}  // namespace

std::unique_ptr<DesktopServices> MakeFreedesktopServices() {
  return std::make_unique<FreedesktopServices>();
}

DesktopServices& Desktop() {
  std::unique_ptr<DesktopServices>& services = Installed();
  if (!services) services = MakeFreedesktopServices();
  return *services;
}

std::unique_ptr<DesktopServices> SetDesktop(std::unique_ptr<DesktopServices> services) {
  return std::exchange(Installed(), std::move(services));
}

void ExploreFolder(const std::string& path, bool with_tree) {
  Desktop().ExploreFolder(path, with_tree);
}

void ExploreFile(const std::string& path, bool with_tree) {
  Desktop().ExploreFile(path, with_tree);
}

void ShellOpen(const std::string& target) { Desktop().ShellOpen(target); }

void ShutdownComputer() { Desktop().ShutdownComputer(); }

std::int64_t FileSizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return 0;
  return static_cast<std::int64_t>(size);
}

QUrl ShellUrl(const std::string& target) {
  const QString text = ToQString(target);
  // A file whose name merely looks like an address ("notes:1.txt") is still a file.
  if (QFileInfo::exists(text)) return LocalUrl(target);
  const QUrl url(text, QUrl::StrictMode);
  // A path never has a scheme; one letter would be a drive, which this platform does not have.
  if (url.isValid() && url.scheme().size() > 1) return url;
  return LocalUrl(target);
}

}  // namespace zembra::app
