// Loads that fail other than by their contents: memory running out while a
// file is read, and a named pipe picked in the open dialog.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "core/Loader.h"
#include "tests/ui/UiTestSupport.h"

namespace {

// While not 0, every allocation of at least this many bytes fails, as on a
// machine that has run out of memory.
std::atomic<size_t> FailFrom{0};

}  // namespace

void* operator new(size_t size) {
  const size_t limit = FailFrom.load(std::memory_order_relaxed);
  if (limit != 0 && size >= limit) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

class OpenFailureTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    FailFrom = 0;
    Form.reset();
    Dir.reset();
    ResetCore();
  }

  // The file ends as an invalid one: its message, the default image after
  // the reset, and the program goes on.
  void outOfMemoryWhileLoadingIsAnInvalidFile() {
    const QString big = QString::fromStdString(Dir->File("big.cod", std::string(10 << 20, '\n')));
    for (bool atStartUp : {true, false}) {
      Form.reset();
      ResetCore();
      RecordMessageBoxes();
      MessageBoxHook = [](QWidget*, const QString& text, bool error) {
        FailFrom = 0;
        ShownMessages().append(error ? "error:" + text : text);
      };
      if (atStartUp) {
        FailFrom = 8 << 20;
        Form = std::make_unique<TMainForm>(QStringList{big});
      } else {
        Form = std::make_unique<TMainForm>(QStringList{QString::fromStdString(Dir->File("ok.cod", CodImage({0})))});
        OpenFileHook = [&](QWidget*) { return big; };
        FailFrom = 8 << 20;
        Form->AFOpenExecute();
      }
      QCOMPARE(ShownMessages(), QStringList{QString::fromUtf8(InvalidFileMessage)});
      QVERIFY(Stopped);
      QCOMPARE(TheState.GetReg(-1), EntryAddress);
      QCOMPARE(TheMemory.ReadWord(EntryAddress), IdleLoopWord);
      QCOMPARE(Form->NextCommandText(), QString("$00800001:  1000ffff   beqz  R00,$00800001"));
    }
  }

  // A named pipe would block the read until some writer closes it; the
  // dialog's choice is refused at once instead.
  void namedPipeCannotBeOpened() {
    Form = std::make_unique<TMainForm>(QStringList{});
    RecordMessageBoxes();
    const std::string pipe = Dir->Path + "/pipe.cod";
    QCOMPARE(mkfifo(pipe.c_str(), 0600), 0);
    // Should the read block after all, a writer that comes and goes ends it,
    // so that this test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread unblock([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
      while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      while (!done) {
        const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
    const QString name = QString::fromStdString(pipe);
    OpenFileHook = [&](QWidget*) { return name; };
    const auto start = std::chrono::steady_clock::now();
    Form->AFOpenExecute();
    done = true;
    unblock.join();
    QCOMPARE(ShownMessages(), QStringList{"error:Datei " + name + " kann nicht geöffnet werden"});
    QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(2));
  }
};

QTEST_MAIN(OpenFailureTest)
#include "openfailure_test.moc"
