#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>

#include "core/files/standard_descriptors.h"
#include "tests/support/forked_child.h"

using plimbrook::openClosedStandardDescriptors;
using plimbrook::testing::runForked;

namespace {

// What descriptor `fd` is: its device and inode, and whether it reads or writes.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    int access = -1;
    bool operator==(const Identity&) const = default;
};

Identity identity(int fd) {
    struct stat status {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fstat(fd, &status) != 0) {
        return {};
    }
    return {status.st_dev, status.st_ino, flags & O_ACCMODE};
}

}  // namespace

class TestStandardDescriptors : public QObject {
    Q_OBJECT

private slots:
    void closedOnesGetDevNull_data() {
        QTest::addColumn<QList<int>>("closed");
        QTest::newRow("input") << QList<int>{0};
        QTest::newRow("output") << QList<int>{1};
        QTest::newRow("error") << QList<int>{2};
        QTest::newRow("output-and-error") << QList<int>{1, 2};
        QTest::newRow("all-three") << QList<int>{0, 1, 2};
        QTest::newRow("none") << QList<int>{};
    }

    // Each closed descriptor is /dev/null afterwards, reading on 0 and writing on 1 and 2; the
    // open ones are left as they were, and nothing else is opened.
    void closedOnesGetDevNull() {
        QFETCH(QList<int>, closed);
        const std::optional<int> status = runForked([&] {
            const int null = ::open("/dev/null", O_RDONLY);
            Identity before[3];
            for (int fd = 0; fd <= 2; ++fd) {
                before[fd] = identity(fd);
            }
            const Identity devNull = identity(null);
            ::close(null);
            for (const int fd : closed) {
                ::close(fd);
            }
            openClosedStandardDescriptors();
            int wrong = 0;
            for (int fd = 0; fd <= 2; ++fd) {
                Identity expected = before[fd];
                if (closed.contains(fd)) {
                    expected = {devNull.device, devNull.inode, fd == 0 ? O_RDONLY : O_WRONLY};
                }
                if (!(identity(fd) == expected)) {
                    wrong |= 1 << fd;
                }
            }
            // Nothing was left open on the way: the lowest free number is what it was.
            if (::open("/dev/null", O_RDONLY) != null) {
                wrong |= 1 << 3;
            }
            ::_exit(wrong);
        });
        QVERIFY(status);
        QVERIFY(WIFEXITED(*status));
        QCOMPARE(WEXITSTATUS(*status), 0);
    }
};

QTEST_GUILESS_MAIN(TestStandardDescriptors)
#include "tst_standard_descriptors.moc"
