// Runs the built brontaflex-cli and collects what it returns and prints.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <string>

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;

  QJsonObject Json() const {
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
  }
};

inline CliRun RunCli(const QStringList& args) {
  QProcess process;
  process.start(QStringLiteral(BFX_CLI_PATH), args);
  CliRun run;
  if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
    return run;
  }
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}
