#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "core/ReminderScheduler.h"
#include "core/SmtpMail.h"
#include "core/acCronMask.h"
#include "core/qmReminderSchedule.h"
#include "model/qmReminderEvent.h"

namespace quillmar {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return EncodeDateTime({y, mo, d, h, mi, s, 0});
}

TCronTime CronAt(int y, int mo, int d, int h, int mi, int s) {
  TCronTime t{y, mo, d, h, mi, s, 0};
  long long days = static_cast<long long>(EncodeDate(y, mo, d));
  t.dayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);  // 1899-12-30 was a Saturday
  return t;
}

// A clock the test steps by hand: every Step lets the scheduler thread take exactly one tick at the
// given time and returns when that tick is done.
class SteppedClock : public TSchedulerClock {
public:
  bool WaitForTick(std::stop_token stop) override {
    std::unique_lock lock(mutex_);
    done_ = taken_;
    cv_.notify_all();
    cv_.wait(lock, stop, [&] { return given_ > taken_; });
    if (stop.stop_requested()) return false;
    ++taken_;
    return true;
  }
  TCronTime LocalNow() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void Step(const TCronTime& t) {
    std::unique_lock lock(mutex_);
    now_ = t;
    ++given_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return done_ == given_; });
  }
  void Set(const TCronTime& t) {
    std::lock_guard lock(mutex_);
    now_ = t;
  }

private:
  std::mutex mutex_;
  std::condition_variable_any cv_;
  TCronTime now_;
  uint64_t given_ = 0, taken_ = 0, done_ = 0;
};

// The owning thread's queue: the scheduler posts into it, the test runs what is there.
class TaskQueue {
public:
  TReminderScheduler::TPoster Poster() {
    return [this](TReminderScheduler::TTask task) {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    };
  }
  size_t Size() {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }
  void RunAll() {
    for (;;) {
      TReminderScheduler::TTask task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

private:
  std::mutex mutex_;
  std::deque<TReminderScheduler::TTask> tasks_;
};

// The open Safe's reminders, kept as stored records.
class MemoryStore : public TqmReminderStore {
public:
  std::string safe = "Home";
  std::vector<std::string> order;
  std::map<std::string, std::string> records;
  int saves = 0;

  void Put(const TqmReminderEvent& r) {
    TMemoryStream s;
    r.SaveToStream(s);
    if (!records.count(r.id())) order.push_back(r.id());
    records[r.id()] = s.ToString();
  }
  TqmReminderEvent Get(const std::string& id) {
    TqmReminderEvent r;
    EXPECT_TRUE(LoadReminder(id, r));
    return r;
  }
  void Remove(const std::string& id) {
    records.erase(id);
    order.erase(std::find(order.begin(), order.end(), id));
  }

  std::string OpenSafeName() override { return safe; }
  int ReminderCount() override { return static_cast<int>(order.size()); }
  void LoadReminderAt(int index, TqmReminderEvent& r) override { Read(order.at(index), r); }
  bool LoadReminder(const std::string& id, TqmReminderEvent& r) override {
    if (!records.count(id)) return false;
    Read(id, r);
    return true;
  }
  void SaveReminder(TqmReminderEvent& r) override {
    ++saves;
    Put(r);
  }

private:
  void Read(const std::string& id, TqmReminderEvent& r) {
    TMemoryStream s(records.at(id));
    r.LoadFromStream(s);
    r.SetId(id);
  }
};

// Records what the actions were asked to do, in order.
struct Actions : TqmReminderPopup, TqmReminderLauncher, TMailTransport {
  std::vector<std::string> log;
  bool failMail = false;
  void ShowReminderPopup(const TqmReminderEvent& r) override { log.push_back("popup " + r.id()); }
  void CloseReminderPopup(const std::string& id) override { log.push_back("close " + id); }
  void LaunchReminderApp(const std::string& file, const std::string& params) override {
    log.push_back("launch " + file + " " + params);
  }
  void Send(const TSmtpServer& server, const TSmtpMessage& m) override {
    log.push_back("mail " + m.recipient + " " + m.subject + " " + server.host + ":" +
                  std::to_string(server.port));
    if (failMail)
      throw EMailError("The e-mail could not be sent through the mail server 127.0.0.1:9: refused.");
  }
};

TqmReminderEvent Reminder(const std::string& id, int type, TDateTime start, TDateTime stop = 0) {
  TqmReminderEvent r(start);
  r.SetId(id);
  r.SetType(type);
  r.SetStart(start);
  r.SetStop(stop);
  return r;
}

class ReminderScheduleTest : public ::testing::Test {
protected:
  void SetUp() override {
    schedule.SetPopup(&actions);
    schedule.SetMailTransport(&actions);
    schedule.SetLauncher(&actions);
  }
  std::vector<int> Tags() {
    std::vector<int> tags;
    for (const auto& j : scheduler.Jobs()) tags.push_back(j.Tag());
    return tags;
  }
  // Lets the scheduler look at time t once, then runs what it handed over.
  void Pass(const TCronTime& t) {
    clock->Step(t);
    queue.RunAll();
  }

  TDateTime now = At(2025, 3, 4, 12, 0, 0);  // a Tuesday
  std::shared_ptr<SteppedClock> clock = std::make_shared<SteppedClock>();
  TaskQueue queue;
  TReminderScheduler scheduler{queue.Poster(), clock};
  MemoryStore store;
  Actions actions;
  TqmReminderSchedule schedule{scheduler, store, [this] { return now; }};
};

TEST(CronMaskTest, FieldsItemsRangesAndSteps) {
  const TCronTime tue = CronAt(2025, 3, 4, 8, 30, 0);
  EXPECT_TRUE(TacCronMask("0 30 8 * * *").Matches(tue));
  EXPECT_FALSE(TacCronMask("1 30 8 * * *").Matches(tue));
  EXPECT_TRUE(TacCronMask("0 30 8 4 3 2").Matches(tue));
  EXPECT_FALSE(TacCronMask("0 30 8 4 4 2").Matches(tue));
  EXPECT_TRUE(TacCronMask("0 30").Matches(tue));       // missing fields are full
  EXPECT_TRUE(TacCronMask("0 1,*,x 8").Matches(tue));  // "*" anywhere makes the field full
  EXPECT_TRUE(TacCronMask("0 20-40 6-9 1-5").Matches(tue));
  EXPECT_FALSE(TacCronMask("0 31-40").Matches(tue));
  EXPECT_FALSE(TacCronMask("").Matches(tue));
  EXPECT_FALSE(TacCronMask("   ").Matches(tue));

  // a+s runs to 59, a-b+s to b; nothing above 59 is added.
  TacCronMask stepped("5+10 10-20+5 50-70");
  EXPECT_EQ(stepped.Field(0),
            (1ull << 5) | (1ull << 15) | (1ull << 25) | (1ull << 35) | (1ull << 45) | (1ull << 55));
  EXPECT_EQ(stepped.Field(1), (1ull << 10) | (1ull << 15) | (1ull << 20));
  EXPECT_EQ(stepped.Field(2), 0x3FFull << 50);
  // Items that are no numbers, or have a step of 0, add nothing (and do not hang).
  TacCronMask bad("a 3+0 -4 5-x 7,9");
  EXPECT_EQ(bad.Field(0) | bad.Field(1) | bad.Field(2) | bad.Field(3), 0u);
  EXPECT_EQ(bad.Field(4), (1ull << 7) | (1ull << 9));
}

TEST(CronMaskTest, SundayIsBothZeroAndSeven) {
  const TCronTime sun = CronAt(2025, 3, 9, 8, 30, 0);
  const TCronTime mon = CronAt(2025, 3, 10, 8, 30, 0);
  const TCronTime sat = CronAt(2025, 3, 8, 8, 30, 0);
  ASSERT_EQ(sun.dayOfWeek, 0);
  EXPECT_TRUE(TacCronMask("0 30 8 * * 7").Matches(sun));
  EXPECT_TRUE(TacCronMask("0 30 8 * * 0").Matches(sun));
  EXPECT_FALSE(TacCronMask("0 30 8 * * 7").Matches(mon));
  EXPECT_TRUE(TacCronMask("0 30 8 * * 6,7").Matches(sat));
  EXPECT_TRUE(TacCronMask("0 30 8 * * 1-5").Matches(mon));
  EXPECT_FALSE(TacCronMask("0 30 8 * * 1-5").Matches(sun));
}

TEST_F(ReminderScheduleTest, SchedulerFiresAJobOnlyInItsSecond) {
  std::vector<int> fired;
  scheduler.Add(TacCronJob(42, "0 30 8 * * *", [&](const TacCronJob& j) { fired.push_back(j.Tag()); }));
  TacCronJob dated(43, "0 30 8 * * *", [&](const TacCronJob& j) { fired.push_back(j.Tag()); });
  dated.SetDueDate(20250305);
  scheduler.Add(dated);
  scheduler.Start();

  Pass(CronAt(2025, 3, 4, 8, 29, 59));
  EXPECT_TRUE(fired.empty());
  clock->Step(CronAt(2025, 3, 4, 8, 30, 0));
  EXPECT_EQ(queue.Size(), 1u);  // handed over, not run on the scheduler thread
  EXPECT_TRUE(fired.empty());
  queue.RunAll();
  EXPECT_EQ(fired, std::vector<int>{42});
  Pass(CronAt(2025, 3, 4, 8, 30, 0));  // the same second again: no second firing
  Pass(CronAt(2025, 3, 4, 8, 30, 1));
  EXPECT_EQ(fired, std::vector<int>{42});
  Pass(CronAt(2025, 3, 5, 8, 30, 0));  // the next day also the dated job
  EXPECT_EQ(fired, (std::vector<int>{42, 42, 43}));

  // A job removed after it was handed over does not run; an inactive one is not handed over.
  clock->Step(CronAt(2025, 3, 6, 8, 30, 0));
  scheduler.Remove(42);
  queue.RunAll();
  scheduler.Update(43, [](TacCronJob& j) {
    j.SetActive(false);
    j.SetDueDate(0);
  });
  clock->Step(CronAt(2025, 3, 7, 8, 30, 0));
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_EQ(fired.size(), 3u);
  scheduler.Stop();
  EXPECT_FALSE(scheduler.Running());
}

TEST_F(ReminderScheduleTest, TasksQueuedAfterTheSchedulerIsGoneDoNothing) {
  TaskQueue q;
  int runs = 0;
  {
    auto c = std::make_shared<SteppedClock>();
    TReminderScheduler s(q.Poster(), c);
    s.Add(TacCronJob(1, "* * * * * *", [&](const TacCronJob&) { ++runs; }));
    c->Set(CronAt(2025, 3, 4, 8, 0, 0));
    EXPECT_EQ(s.Tick(), 1);
  }
  q.RunAll();
  EXPECT_EQ(runs, 0);
}

TEST_F(ReminderScheduleTest, BuildSkipsEndedFutureYearAndUnusableReminders) {
  auto everyDay = [&](const std::string& id, TDateTime start, TDateTime stop) {
    TqmReminderEvent r = Reminder(id, 1, start, stop);
    store.Put(r);
  };
  everyDay("1", At(2025, 1, 1, 8, 30, 0), At(2025, 3, 3));  // ended yesterday
  everyDay("2", At(2025, 1, 1, 8, 30, 0), At(2025, 3, 4));  // ends today
  everyDay("3", At(2026, 1, 1, 8, 30, 0), 0);               // next year
  everyDay("4", At(2025, 12, 31, 23, 0, 0), 0);             // later this year
  everyDay("x5", At(2025, 1, 1, 8, 30, 0), 0);              // id no number
  everyDay("0", At(2025, 1, 1, 8, 30, 0), 0);               // id 0 is a number like any other
  TqmReminderEvent fired = Reminder("7", 0, At(2025, 3, 4, 9, 0, 0));
  fired.SetFired(true);
  store.Put(fired);  // one-off, done
  TqmReminderEvent moved = Reminder("8", 0, At(2025, 3, 10, 9, 15, 5));
  moved.SetFired(true);
  store.Put(moved);                                       // fired, then moved ahead
  store.Put(Reminder("9", 0, At(2025, 3, 4, 18, 0, 0)));  // one-off, still to come
  schedule.ScheduleReminders();

  EXPECT_EQ(Tags(), (std::vector<int>{2, 4, 0, 8, 9}));
  auto eight = scheduler.Find(8);
  ASSERT_TRUE(eight);
  EXPECT_EQ(eight->CronMask(), "5 15 9 * * *");
  EXPECT_EQ(eight->DueDate(), 20250310);
  EXPECT_EQ(scheduler.Find(4)->DueDate(), 0);

  // A rebuild replaces the jobs; a closed Safe gives none.
  store.Remove("2");
  schedule.ScheduleReminders();
  EXPECT_EQ(Tags(), (std::vector<int>{4, 0, 8, 9}));
  store.safe = "";
  schedule.ScheduleReminders();
  EXPECT_TRUE(Tags().empty());
}

TEST_F(ReminderScheduleTest, AnUnreadableReminderDoesNotStopTheOthers) {
  store.Put(Reminder("1", 1, At(2025, 1, 1, 8, 0, 0)));
  store.order.push_back("2");
  store.records["2"] = std::string("\x50\0\0\0<rem", 8);  // cut short
  store.Put(Reminder("3", 1, At(2025, 1, 1, 9, 0, 0)));
  try {
    schedule.ScheduleReminders();
    ADD_FAILURE() << "no error";
  } catch (const EQuillmarError& e) {
    EXPECT_STREQ(e.what(), "The reminder number 2 could not be read: Stream read error");
  }
  EXPECT_EQ(Tags(), (std::vector<int>{1, 3}));
}

TEST_F(ReminderScheduleTest, FiringRunsTheActionsInOrderAndStopsAtAMailError) {
  TqmReminderEvent r = Reminder("12", 1, At(2025, 1, 1, 8, 0, 0));
  r.SetAction(7);
  r.SetName("Rent");
  r.SetEmRecipient("me@example.org");
  r.SetEmHost("127.0.0.1");
  r.SetRun("/usr/bin/true");
  r.SetRunparams("-x");
  store.Put(r);
  schedule.ScheduleReminders();
  schedule.FireReminder(TacCronJob(12, ""));
  EXPECT_EQ(actions.log, (std::vector<std::string>{"popup 12", "mail me@example.org Rent 127.0.0.1:25",
                                                   "launch /usr/bin/true -x"}));
  EXPECT_EQ(store.saves, 0);  // a recurring reminder is not changed by firing

  actions.log.clear();
  actions.failMail = true;
  EXPECT_THROW(schedule.FireReminder(TacCronJob(12, "")), EMailError);
  EXPECT_EQ(actions.log.size(), 2u);  // no launch after the failed mail

  // A reminder deleted since the schedule was built does nothing.
  actions.log.clear();
  schedule.FireReminder(TacCronJob(99, ""));
  EXPECT_TRUE(actions.log.empty());
}

TEST_F(ReminderScheduleTest, OneOffComesDueOnceAndIsMarkedFired) {
  TqmReminderEvent r = Reminder("5", 0, At(2025, 3, 4, 8, 30, 0));
  r.SetAction(TqmReminderEvent::kActionPopup | TqmReminderEvent::kActionMail);
  r.SetEmHost("127.0.0.1");
  r.SetEmRecipient("me@example.org");
  store.Put(r);
  now = At(2025, 3, 4, 7, 0, 0);
  schedule.ScheduleReminders();
  scheduler.Start();
  actions.failMail = true;  // even a failed mail leaves it fired
  clock->Step(CronAt(2025, 3, 4, 8, 30, 0));
  EXPECT_THROW(queue.RunAll(), EMailError);
  EXPECT_EQ(actions.log.front(), "popup 5");
  EXPECT_TRUE(store.Get("5").fired());
  EXPECT_NEAR(store.Get("5").start(), r.start(), 1e-9);

  actions.log.clear();
  Pass(CronAt(2025, 3, 5, 8, 30, 0));
  Pass(CronAt(2025, 3, 11, 8, 30, 0));
  EXPECT_TRUE(actions.log.empty());
  now = At(2025, 3, 4, 9, 0, 0);
  schedule.ScheduleReminders();
  EXPECT_TRUE(Tags().empty());
}

TEST_F(ReminderScheduleTest, SnoozeForOneDayComesBackInTwentyFourHours) {
  store.Put(Reminder("5", 0, At(2025, 3, 4, 8, 30, 0)));
  TqmReminderEvent monday = Reminder("6", 1, At(2025, 1, 6, 7, 0, 0));
  monday.SetDaysofweek("1");
  store.Put(monday);
  now = At(2025, 3, 4, 8, 0, 0);
  schedule.ScheduleReminders();
  scheduler.Start();
  Pass(CronAt(2025, 3, 4, 8, 30, 0));
  ASSERT_EQ(actions.log, std::vector<std::string>{"popup 5"});

  now = At(2025, 3, 4, 10, 15, 30);
  schedule.SnoozeReminder("5", TqmReminderSchedule::kSnoozeDays, 1);
  schedule.SnoozeReminder("6", TqmReminderSchedule::kSnoozeMinutes, 5);
  EXPECT_EQ(scheduler.Find(5)->CronMask(), "30 15 10 * * *");
  EXPECT_EQ(scheduler.Find(6)->CronMask(), "30 20 10 * * *");  // that moment, whatever the day
  EXPECT_EQ(scheduler.Find(6)->DueDate(), 20250304);
  EXPECT_NEAR(store.Get("5").start(), At(2025, 3, 4, 8, 30, 0), 1e-9);  // nothing is saved

  // A rebuild (the editor closed on another reminder) keeps the snooze while it lies ahead.
  store.Put(Reminder("7", 1, At(2025, 1, 1, 6, 0, 0)));
  schedule.ScheduleReminders();
  EXPECT_EQ(scheduler.Find(5)->CronMask(), "30 15 10 * * *");

  actions.log.clear();
  Pass(CronAt(2025, 3, 4, 10, 15, 30));
  EXPECT_TRUE(actions.log.empty());
  Pass(CronAt(2025, 3, 5, 10, 15, 30));
  EXPECT_EQ(actions.log, std::vector<std::string>{"popup 5"});

  // Once the snoozed time has passed, a rebuild drops it; the fired one-off is then done.
  now = At(2025, 3, 5, 11, 0, 0);
  schedule.ScheduleReminders();
  EXPECT_FALSE(scheduler.Find(5));

  // Snoozing an id without job, with an unknown unit or a non-number changes nothing.
  const std::string before = scheduler.Find(6)->CronMask();
  schedule.SnoozeReminder("6", 9, 1);
  schedule.SnoozeReminder("abc", 0, 5);
  schedule.SnoozeReminder("404", 0, 5);
  EXPECT_EQ(scheduler.Find(6)->CronMask(), before);
}

TEST_F(ReminderScheduleTest, SnoozeGivesWayToAnEditedSchedule) {
  store.Put(Reminder("6", 1, At(2025, 1, 6, 7, 0, 0)));
  schedule.ScheduleReminders();
  schedule.SnoozeReminder("6", TqmReminderSchedule::kSnoozeWeek, 0);
  EXPECT_EQ(scheduler.Find(6)->CronMask(), "0 0 12 * * *");
  TqmReminderEvent edited = Reminder("6", 1, At(2025, 1, 6, 19, 45, 0));
  store.Put(edited);
  schedule.ScheduleReminders();
  EXPECT_EQ(scheduler.Find(6)->CronMask(), "0 45 19 * * *");
}

TEST_F(ReminderScheduleTest, SnoozeRingsOnceThenTheOwnScheduleResumes) {
  store.Put(Reminder("7", 1, At(2025, 1, 1, 8, 0, 0)));  // daily at 08:00
  now = At(2025, 3, 4, 7, 0, 0);
  schedule.ScheduleReminders();
  scheduler.Start();
  EXPECT_NEAR(*schedule.NextDue("7"), At(2025, 3, 4, 8, 0, 0), 1e-9);
  Pass(CronAt(2025, 3, 4, 8, 0, 0));
  ASSERT_EQ(actions.log, std::vector<std::string>{"popup 7"});

  now = At(2025, 3, 4, 8, 0, 5);
  schedule.SnoozeReminder("7", TqmReminderSchedule::kSnoozeDays, 2);
  EXPECT_NEAR(*schedule.NextDue("7"), At(2025, 3, 6, 8, 0, 5), 1e-9);
  actions.log.clear();
  Pass(CronAt(2025, 3, 5, 8, 0, 0));  // tomorrow: silent
  Pass(CronAt(2025, 3, 5, 8, 0, 5));
  Pass(CronAt(2025, 3, 6, 8, 0, 0));  // the snooze holds the own time back until it has rung
  EXPECT_TRUE(actions.log.empty());
  Pass(CronAt(2025, 3, 6, 8, 0, 5));
  EXPECT_EQ(actions.log, std::vector<std::string>{"popup 7"});

  // Then daily at 08:00 again, never at the snoozed time.
  actions.log.clear();
  now = At(2025, 3, 6, 9, 0, 0);
  EXPECT_NEAR(*schedule.NextDue("7"), At(2025, 3, 7, 8, 0, 0), 1e-9);
  Pass(CronAt(2025, 3, 7, 8, 0, 0));
  Pass(CronAt(2025, 3, 7, 8, 0, 5));
  EXPECT_EQ(actions.log, std::vector<std::string>{"popup 7"});
}

TEST_F(ReminderScheduleTest, DismissEndsTheOccurrenceThatRang) {
  store.Put(Reminder("5", 1, At(2025, 1, 1, 8, 30, 0)));
  store.Put(Reminder("6", 1, At(2025, 1, 1, 8, 30, 0)));
  store.Put(Reminder("8", 0, At(2025, 3, 4, 8, 30, 0)));
  now = At(2025, 3, 4, 8, 0, 0);
  schedule.ScheduleReminders();
  scheduler.Start();
  clock->Step(CronAt(2025, 3, 4, 8, 30, 0));  // all three handed over ...
  schedule.DismissReminder("5");              // ... and 5 dismissed before its turn
  queue.RunAll();
  EXPECT_EQ(actions.log, (std::vector<std::string>{"close 5", "popup 6", "popup 8"}));

  // A recurring reminder comes due again at its next time; a one-off one is done.
  actions.log.clear();
  schedule.SnoozeReminder("6", TqmReminderSchedule::kSnoozeHours, 2);
  schedule.DismissReminder("6");
  schedule.DismissReminder("8");
  EXPECT_EQ(scheduler.Find(6)->CronMask(), "0 30 8 * * *");
  EXPECT_FALSE(scheduler.Find(8));
  Pass(CronAt(2025, 3, 4, 10, 0, 0));  // the snooze is gone
  Pass(CronAt(2025, 3, 5, 8, 30, 0));
  EXPECT_EQ(actions.log, (std::vector<std::string>{"close 6", "close 8", "popup 5", "popup 6"}));
  EXPECT_FALSE(schedule.NextDue("8"));
}

TEST_F(ReminderScheduleTest, NextDueFollowsThePattern) {
  TqmReminderEvent r = Reminder("9", 1, At(2025, 1, 1, 18, 15, 0));
  r.SetDaysofweek("1,5");  // Mondays and Fridays
  store.Put(r);
  TqmReminderEvent leap = Reminder("10", 1, At(2025, 1, 1, 6, 0, 0));
  leap.SetDays("29");
  leap.SetMonths("2");
  store.Put(leap);
  now = At(2025, 3, 4, 12, 0, 0);  // Tuesday
  schedule.ScheduleReminders();
  EXPECT_NEAR(*schedule.NextDue("9"), At(2025, 3, 7, 18, 15, 0), 1e-9);
  now = At(2025, 3, 7, 18, 15, 0);  // ringing now: the next one is Monday's
  EXPECT_NEAR(*schedule.NextDue("9"), At(2025, 3, 10, 18, 15, 0), 1e-9);
  EXPECT_NEAR(*schedule.NextDue("10"), At(2028, 2, 29, 6, 0, 0), 1e-9);
  EXPECT_FALSE(schedule.NextDue("404"));
}

TEST_F(ReminderScheduleTest, DueWhileNoSafeIsOpenRunsAfterTheNextLogin) {
  store.Put(Reminder("5", 1, At(2025, 1, 1, 8, 30, 0)));
  TqmReminderEvent oneOff = Reminder("6", 0, At(2025, 3, 4, 8, 30, 0));
  store.Put(oneOff);
  now = At(2025, 3, 4, 8, 0, 0);
  schedule.ScheduleReminders();
  scheduler.Start();
  store.safe = "";  // locked
  Pass(CronAt(2025, 3, 4, 8, 30, 0));
  Pass(CronAt(2025, 3, 5, 8, 30, 0));  // 5 again: carried out once only
  EXPECT_TRUE(actions.log.empty());
  EXPECT_EQ(schedule.PendingReminders(), (std::vector<int>{5, 6}));

  store.safe = "Home";  // the login builds the schedule, the pending ones follow it
  now = At(2025, 3, 5, 9, 0, 0);
  schedule.ScheduleReminders();
  EXPECT_TRUE(actions.log.empty());
  queue.RunAll();
  EXPECT_EQ(actions.log, (std::vector<std::string>{"popup 5", "popup 6"}));
  EXPECT_TRUE(store.Get("6").fired());
  EXPECT_TRUE(schedule.PendingReminders().empty());

  // A different Safe opened instead forgets what was pending.
  actions.log.clear();
  store.safe = "";
  Pass(CronAt(2025, 3, 6, 8, 30, 0));
  store.safe = "Work";
  schedule.ScheduleReminders();
  queue.RunAll();
  EXPECT_TRUE(actions.log.empty());
  EXPECT_TRUE(schedule.PendingReminders().empty());
}

}  // namespace
}  // namespace quillmar
