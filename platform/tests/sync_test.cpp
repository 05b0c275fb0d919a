#include "platform/sync.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace kh::win;

namespace {

// Runs `f` on another thread and returns its result.
template <class F>
auto onOtherThread(F f) {
  decltype(f()) result{};
  std::thread([&] { result = f(); }).join();
  return result;
}

TEST(NamedMutex, SecondCreateOpensTheSameMutex) {
  HANDLE first = CreateMutexA(nullptr, FALSE, "KH_TEST_LIBLDRMUX");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateMutexA(nullptr, TRUE, "KH_TEST_LIBLDRMUX");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_NE(second, first);
  HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, "KH_TEST_LIBLDRMUX");
  ASSERT_NE(opened, nullptr);
  // Names are case-sensitive: this is another mutex.
  HANDLE other = CreateMutexA("kh_test_libldrmux", FALSE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  // The initial owner of an existing mutex is ignored: it is still free, and
  // owning it through one handle holds it against every handle.
  ASSERT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_EQ(onOtherThread([&] { return WaitForSingleObject(second, 0); }), WAIT_TIMEOUT);
  EXPECT_EQ(onOtherThread([&] { return WaitForSingleObject(opened, 0); }), WAIT_TIMEOUT);
  EXPECT_EQ(onOtherThread([&] { return WaitForSingleObject(other, 0); }), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(second));

  // The name lives while a handle is open.
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  HANDLE reopened = OpenMutexA(SYNCHRONIZE, FALSE, "KH_TEST_LIBLDRMUX");
  EXPECT_NE(reopened, nullptr);
  EXPECT_TRUE(CloseHandle(reopened));
  EXPECT_TRUE(CloseHandle(opened));
  SetLastError(0);
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "KH_TEST_LIBLDRMUX"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE fresh = CreateMutexA(nullptr, FALSE, "KH_TEST_LIBLDRMUX");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(fresh));
  EXPECT_TRUE(CloseHandle(other));
}

TEST(NamedMutex, OwnershipIsPerThreadCountedAndTimesOut) {
  HANDLE m = CreateMutexA(nullptr, TRUE, nullptr);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);  // owned twice now

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(onOtherThread([&] { return WaitForSingleObject(m, 50); }), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
  EXPECT_EQ(onOtherThread([&] {
              SetLastError(0);
              return ReleaseMutex(m) ? ERROR_SUCCESS : GetLastError();
            }),
            ERROR_NOT_OWNER);

  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(onOtherThread([&] { return WaitForSingleObject(m, 0); }), WAIT_TIMEOUT) << "still owned once";

  // A waiter blocked without a limit gets the mutex when it is released.
  DWORD waited = WAIT_FAILED;
  std::thread waiter([&] {
    waited = WaitForSingleObject(m, INFINITE);
    ReleaseMutex(m);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(ReleaseMutex(m));
  waiter.join();
  EXPECT_EQ(waited, WAIT_OBJECT_0);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

  // A thread that ends while owning the mutex abandons it.
  std::thread([&] { WaitForSingleObject(m, INFINITE); }).join();
  EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_ABANDONED);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(CloseHandle(m));

  // Unknown and closed handles.
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_FALSE(CloseHandle(m));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(CriticalSection, GuardsSharedStateAcrossThreadsAndNests) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  long plain = 0;
  volatile LONG counter = 0;
  volatile LONG down = 0;
  constexpr int kRounds = 100000;
  auto work = [&] {
    for (int i = 0; i < kRounds; ++i) {
      EnterCriticalSection(&cs);
      EnterCriticalSection(&cs);  // recursive
      ++plain;
      LeaveCriticalSection(&cs);
      LeaveCriticalSection(&cs);
      InterlockedIncrement(&counter);
      InterlockedDecrement(&down);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(plain, 2 * kRounds);
  EXPECT_EQ(counter, 2 * kRounds);
  EXPECT_EQ(down, -2 * kRounds);
  EXPECT_EQ(InterlockedIncrement(&counter), 2 * kRounds + 1);
  EXPECT_EQ(InterlockedDecrement(&counter), 2 * kRounds);

  EnterCriticalSection(&cs);
  EXPECT_EQ(onOtherThread([&] {
              const BOOL got = TryEnterCriticalSection(&cs);
              if (got) LeaveCriticalSection(&cs);
              return got;
            }),
            FALSE);
  LeaveCriticalSection(&cs);
  DeleteCriticalSection(&cs);
  InitializeCriticalSection(&cs);  // usable again after deletion
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  LeaveCriticalSection(&cs);
  DeleteCriticalSection(&cs);
}

}  // namespace
