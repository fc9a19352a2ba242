#include "desktop/qt_command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {

// The shell's own option: load and show the panel, then leave.
const QString kCheckPanel = QStringLiteral("check-panel");

// The bytes `argument` was given as: the first raw argument after the
// program's name, not yet taken, that decodes to it.
std::string RawBytesOf(const QString& argument, const std::vector<std::string>& raw,
                       std::vector<bool>* taken) {
  for (size_t index = 1; index < raw.size(); ++index) {
    if (!(*taken)[index] && QString::fromLocal8Bit(raw[index]) == argument) {
      (*taken)[index] = true;
      return raw[index];
    }
  }
  return QFile::encodeName(argument).toStdString();
}

}  // namespace

std::vector<std::string> DumpFilesInArguments(const QStringList& arguments,
                                              const std::vector<std::string>& raw) {
  QCommandLineParser parser;
  parser.addOption(
      QCommandLineOption(kCheckPanel, QStringLiteral("Load and show the panel once, then leave.")));
  parser.addPositionalArgument(QStringLiteral("dump"),
                               QStringLiteral("The dump to open as the From file."));
  parser.parse(arguments);
  for (const QString& unknown : parser.unknownOptionNames()) {
    std::fprintf(stderr, "ZORQConvert: the option \"%s\" is unknown and left alone.\n",
                 unknown.toLocal8Bit().constData());
  }
  std::vector<bool> taken(raw.size(), false);
  std::vector<std::string> files;
  for (const QString& file : parser.positionalArguments())
    files.push_back(RawBytesOf(file, raw, &taken));
  return files;
}

std::vector<std::string> DumpFilesGivenToQt(int argc, char* argv[]) {
  std::vector<std::string> raw;
  for (int index = 0; index < argc && argv[index] != nullptr; ++index)
    raw.emplace_back(argv[index]);
  return DumpFilesInArguments(QCoreApplication::arguments(), raw);
}
