// The safety net around window commands: a command that throws shows a message, the
// session is as it was before the command, and the program goes on.
#include <QPushButton>
#include <QtTest>

#include <new>
#include <stdexcept>

#include "core/messages.hpp"
#include "core/session.hpp"
#include "ui/command_guard.hpp"
#include "support/recording_messages.hpp"

using namespace vornax;

class TestCommandGuard : public QObject {
  Q_OBJECT
 private slots:
  void throwingButtonKeepsTheSessionAndTheProgramGoesOn() {
    WorkSession s;
    s.wavelengths.lambda = 1.540593;
    s.measured.peaks.push_back({28.44, 28.44, 100, 1});
    RecordingMessages m;
    int refreshed = 0;
    set_after_failure([&] { ++refreshed; });

    QPushButton button("Throws");
    bool second_ran = false;
    int presses = 0;
    connect_command(&button, &QPushButton::clicked, &button, s, m, [&] {
      ++presses;
      if (presses == 1) {
        // Half-done work that must not survive the failure.
        s.measured.peaks.clear();
        s.wavelengths.lambda = 0;
        throw std::bad_alloc();
      }
      if (presses == 2) throw std::length_error("vector::reserve");
      second_ran = true;
    });

    button.click();
    QCOMPARE(s.measured.peaks.size(), size_t(1));
    QCOMPARE(s.wavelengths.lambda, 1.540593);
    QCOMPARE(m.log.size(), size_t(1));
    QCOMPARE(m.log[0].first, RecordingMessages::Kind::Error);
    QVERIFY(QString::fromStdString(m.log[0].second).contains("not enough memory"));
    QCOMPARE(refreshed, 1);

    button.click();
    QVERIFY(QString::fromStdString(m.log[1].second).contains("vector::reserve"));

    button.click();  // the program goes on: the next command runs normally
    QVERIFY(second_ran);
    QCOMPARE(m.log.size(), size_t(2));
    set_after_failure(nullptr);
  }

  void nestedCommandFailureRestoresTheOuterState() {
    WorkSession s;
    s.tolerance = 0.1;
    RecordingMessages m;
    const bool ok = run_guarded(s, m, [&] {
      s.tolerance = 0.5;
      run_guarded(s, m, [&] { throw std::runtime_error("inner"); });
    });
    QVERIFY(!ok);
    QCOMPARE(s.tolerance, 0.1);
    QCOMPARE(m.log.size(), size_t(1));
  }
};

QTEST_MAIN(TestCommandGuard)
#include "test_command_guard.moc"
