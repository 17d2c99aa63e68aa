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

// A run that has not ended after `timeoutMs` is killed and reads as exit
// status -1, so that a program that hangs fails its test rather than stalls it.
inline CliRun RunCli(const QStringList& args, int timeoutMs = 30000) {
  QProcess process;
  process.start(QStringLiteral(BFX_CLI_PATH), args);
  CliRun run;
  if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
    return run;
  }
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}
