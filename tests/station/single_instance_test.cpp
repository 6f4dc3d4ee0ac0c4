#include "TestSupport.h"
#include "station/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvalin;
using corvalin::test::TempFolder;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    TempFolder folder;
    QString name = folder.file(QStringLiteral("station.sock"));
};

// Leaves a socket file behind with nobody listening, as a killed instance does.
void makeStaleSocket(const QString& path) {
    const QByteArray bytes = QFileInfo(path).absoluteFilePath().toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<std::size_t>(bytes.size()), sizeof(address.sun_path));
    std::copy(bytes.begin(), bytes.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(path));
}

// Counts raise requests and waits for them with a deadline.
class RaiseCounter {
public:
    explicit RaiseCounter(SingleInstance& instance) {
        QObject::connect(&instance, &SingleInstance::raiseRequested, [this] { ++count_; });
    }
    bool wait(int atLeast) {
        QDeadlineTimer deadline(10000);
        QTimer tick; // wakes the loop now and then even if nothing arrives
        tick.start(50);
        while (count_ < atLeast && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return count_ >= atLeast;
    }
    int count() const { return count_; }

private:
    int count_ = 0;
};

} // namespace

TEST_F(SingleInstanceTest, SecondStartFindsTheFirstAndAsksItToRaise) {
    SingleInstance first(name);
    RaiseCounter raised(first);
    ASSERT_FALSE(first.AlreadyRunning(true));
    ASSERT_TRUE(first.isListening());
    // The running instance asking again is still the running one.
    EXPECT_FALSE(first.AlreadyRunning(true));

    SingleInstance second(name);
    EXPECT_TRUE(second.AlreadyRunning(true));
    EXPECT_FALSE(second.isListening());
    ASSERT_TRUE(raised.wait(1));
    EXPECT_EQ(raised.count(), 1);
    EXPECT_TRUE(first.isListening()) << "the second start took over the live socket";
}

TEST_F(SingleInstanceTest, WithoutActivateTheRunningOneIsLeftAlone) {
    SingleInstance first(name);
    RaiseCounter raised(first);
    ASSERT_FALSE(first.AlreadyRunning(false));

    SingleInstance quiet(name);
    EXPECT_TRUE(quiet.AlreadyRunning(false));
    // A later raising start is the only request the first one sees.
    SingleInstance loud(name);
    EXPECT_TRUE(loud.AlreadyRunning(true));
    ASSERT_TRUE(raised.wait(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(raised.count(), 1);
}

TEST_F(SingleInstanceTest, SocketLeftByAKilledInstanceDoesNotBlockTheStart) {
    makeStaleSocket(name);
    SingleInstance first(name);
    EXPECT_FALSE(first.AlreadyRunning(true));
    EXPECT_TRUE(first.isListening());

    SingleInstance second(name);
    EXPECT_TRUE(second.AlreadyRunning(false));
}

TEST_F(SingleInstanceTest, ClosedInstanceFreesTheName) {
    {
        SingleInstance first(name);
        ASSERT_FALSE(first.AlreadyRunning(false));
    }
    SingleInstance next(name);
    EXPECT_FALSE(next.AlreadyRunning(false));
    EXPECT_TRUE(next.isListening());
}

TEST_F(SingleInstanceTest, FailingCheckStartsAsTheFirstInstance) {
    SingleInstance lost(folder.file(QStringLiteral("no-such-folder/station.sock")));
    EXPECT_FALSE(lost.AlreadyRunning(true));
    EXPECT_FALSE(lost.isListening());
}

TEST_F(SingleInstanceTest, SecondProcessEndsAndRaisesTheFirst) {
    SingleInstance first(name);
    RaiseCounter raised(first);
    ASSERT_FALSE(first.AlreadyRunning(true));

    QProcess probe;
    probe.start(QStringLiteral(CORVALIN_SINGLE_INSTANCE_PROBE), {name});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 10) << probe.readAllStandardError().constData();
    ASSERT_TRUE(raised.wait(1));
    EXPECT_TRUE(first.isListening());
}

TEST(SingleInstanceName, PerUserAndNamedAfterTheTitle) {
    const QString name = SingleInstance::serverNameFor(QStringLiteral("Corvalin Radio"));
    const QString file = QFileInfo(name).fileName();
    EXPECT_EQ(file, QStringLiteral("Corvalin_Radio-%1.sock").arg(::getuid()));
    EXPECT_TRUE(QFileInfo(name).isAbsolute());
}

// A socket under our name that another account listens on (possible in /tmp) must not make this
// start end: the peer's user is checked.
TEST_F(SingleInstanceTest, ASocketOfAnotherUserIsNotTakenForARunningStation) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_TRUE(peerIsThisUser(pair[0]));
    ::close(pair[0]);
    ::close(pair[1]);
    EXPECT_FALSE(peerIsThisUser(-1));

    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    const QString shared = folder.file(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
    const QString path = shared + QStringLiteral("/station.sock");
    const QByteArray bytes = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<std::size_t>(bytes.size()), sizeof(address.sun_path));
    std::copy(bytes.begin(), bytes.end(), address.sun_path);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls in the child of a threaded process.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(fd, 8) != 0)
            ::_exit(4);
        for (;;)
            ::pause();
    }
    const auto stopChild = qScopeGuard([child] {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    });
    ASSERT_TRUE(test::waitFor([&] { return QFileInfo::exists(path); }, 5000));

    SingleInstance second(path);
    EXPECT_FALSE(second.AlreadyRunning(true));
}
