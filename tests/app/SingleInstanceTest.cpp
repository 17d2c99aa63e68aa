// Starts the built program as a user would, with private runtime, home and
// configuration folders, so that no real user state is touched.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

class SingleInstanceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    runtime_ = home_.filePath("run");
    ASSERT_TRUE(QDir().mkpath(runtime_));
    // The runtime folder must be private, or Qt refuses it.
    ASSERT_TRUE(
        QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }

  void TearDown() override {
    for (auto& process : processes_) {
      if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished();
      }
    }
  }

  QProcess& Start() {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime_);
    env.insert("HOME", home_.path());
    env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    process->setProcessEnvironment(env);
    process->start(BRONTAFLEX_EXE, {});
    EXPECT_TRUE(process->waitForStarted());
    processes_.push_back(std::move(process));
    return *processes_.back();
  }

  // True once the lock file names `process` as the running instance.
  bool WaitUntilLockHeldBy(const QProcess& process) {
    const QByteArray pid = QByteArray::number(process.processId());
    return QTest::qWaitFor(
        [&] {
          QFile lock(runtime_ + "/Brontaflex.lock");
          return lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed() == pid;
        },
        20000);
  }

  QTemporaryDir home_;
  QString runtime_;
  std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(SingleInstanceTest, SecondStartEndsAtOnceSilentlyWithStatusZero) {
  QProcess& first = Start();
  ASSERT_TRUE(WaitUntilLockHeldBy(first));
  // A window left open for an hour still holds the lock.
  QFile lock(runtime_ + "/Brontaflex.lock");
  ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
  ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                               QFileDevice::FileModificationTime));
  lock.close();

  QProcess& second = Start();
  // The window would keep it running; the second start must not open one.
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(second.readAllStandardOutput(), "");
  EXPECT_EQ(second.readAllStandardError(), "");

  EXPECT_EQ(first.state(), QProcess::Running) << "the first instance is not disturbed";
  EXPECT_TRUE(WaitUntilLockHeldBy(first));
}

TEST_F(SingleInstanceTest, CrashedInstanceDoesNotBlockTheNextStart) {
  QProcess& crashed = Start();
  ASSERT_TRUE(WaitUntilLockHeldBy(crashed));
  crashed.kill();  // no chance to clean up: its lock file stays behind
  ASSERT_TRUE(crashed.waitForFinished());
  ASSERT_TRUE(QFile::exists(runtime_ + "/Brontaflex.lock"));

  QProcess& next = Start();
  EXPECT_TRUE(WaitUntilLockHeldBy(next));
  EXPECT_EQ(next.state(), QProcess::Running);
}

}  // namespace
