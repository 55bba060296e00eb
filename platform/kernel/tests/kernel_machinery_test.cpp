// The kernel's own machinery, in process: DPCs, timers, events, mutexes,
// requests and their completion routines, names.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/kernel/device.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/irp.h"
#include "platform/kernel/objects.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/thread.h"
#include "platform/kernel/timer.h"

namespace plat::kernel {
namespace {

std::int64_t ms(std::int64_t value) { return relative_milliseconds(value); }

class KernelMachinery : public ::testing::Test {
 protected:
  void TearDown() override {
    flush_queued_dpcs();
    stop_timer_thread();
    stop_dpc_thread();
  }
};

struct DpcProbe {
  std::atomic<int> runs{0};
  std::atomic<bool> gate{true};
  void* last_argument = nullptr;
};

void counting_dpc(Dpc*, void* context, void* argument1, void*) {
  auto* probe = static_cast<DpcProbe*>(context);
  while (!probe->gate.load()) std::this_thread::yield();
  probe->last_argument = argument1;
  ++probe->runs;
}

TEST_F(KernelMachinery, DpcQueuedTwiceBeforeItRunsRunsOnce) {
  DpcProbe blocker, probe;
  blocker.gate = false;
  Dpc first, second;
  initialize_dpc(&first, counting_dpc, &blocker);
  initialize_dpc(&second, counting_dpc, &probe);
  ASSERT_TRUE(queue_dpc(&first, nullptr, nullptr));
  int a = 1, b = 2;
  EXPECT_TRUE(queue_dpc(&second, &a, nullptr));
  EXPECT_FALSE(queue_dpc(&second, &b, nullptr));
  blocker.gate = true;
  flush_queued_dpcs();
  EXPECT_EQ(probe.runs, 1);
  EXPECT_EQ(probe.last_argument, &a);
  // Once it ran it can be queued again.
  EXPECT_TRUE(queue_dpc(&second, &b, nullptr));
  flush_queued_dpcs();
  EXPECT_EQ(probe.runs, 2);
}

TEST_F(KernelMachinery, KernelMutexIsRecursiveForItsOwner) {
  KernelMutex mutex;
  initialize_mutex(&mutex);
  ASSERT_EQ(wait_for_object(&mutex, nullptr), kStatusSuccess);
  ASSERT_EQ(wait_for_object(&mutex, nullptr), kStatusSuccess);
  auto other_try = [&](std::int64_t timeout) {
    NtStatus result = kStatusUnsuccessful;
    std::thread([&] {
      std::int64_t t = timeout;
      result = wait_for_object(&mutex, &t);
      if (result == kStatusSuccess) release_mutex(&mutex);
    }).join();
    return result;
  };
  EXPECT_EQ(other_try(ms(30)), kStatusTimeout);
  release_mutex(&mutex);
  EXPECT_EQ(other_try(ms(30)), kStatusTimeout);  // still held once
  release_mutex(&mutex);
  EXPECT_EQ(other_try(ms(10000)), kStatusSuccess);
}

TEST_F(KernelMachinery, EventsTimeOutAndReset) {
  KernelEvent notification, synchronization;
  initialize_event(&notification, EventType::kNotification, false);
  initialize_event(&synchronization, EventType::kSynchronization, false);
  std::int64_t short_wait = ms(20), poll = 0;
  EXPECT_EQ(wait_for_object(&notification, &short_wait), kStatusTimeout);
  EXPECT_EQ(wait_for_object(&notification, &poll), kStatusTimeout);

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    set_event(&notification);
    set_event(&synchronization);
  });
  std::int64_t long_wait = ms(10000);
  EXPECT_EQ(wait_for_object(&notification, &long_wait), kStatusSuccess);
  EXPECT_EQ(wait_for_object(&synchronization, &long_wait), kStatusSuccess);
  setter.join();
  // A notification event stays set; a synchronisation event was reset by the wait.
  EXPECT_EQ(wait_for_object(&notification, &poll), kStatusSuccess);
  EXPECT_EQ(wait_for_object(&synchronization, &poll), kStatusTimeout);

  void* both[2] = {&synchronization, &notification};
  EXPECT_EQ(wait_for_objects(2, both, WaitType::kWaitAny, &poll), kStatusSuccess + 1);
  EXPECT_EQ(wait_for_objects(2, both, WaitType::kWaitAll, &poll), kStatusTimeout);
}

struct TimerProbe {
  std::atomic<int> runs{0};
};

void timer_dpc(Dpc*, void* context, void*, void*) { ++static_cast<TimerProbe*>(context)->runs; }

TEST_F(KernelMachinery, TimersSignalAndQueueTheirDpc) {
  TimerProbe once_probe, periodic_probe;
  KernelTimer once, periodic;
  Dpc once_dpc, periodic_dpc;
  initialize_timer(&once, TimerType::kNotification);
  initialize_timer(&periodic, TimerType::kSynchronization);
  initialize_dpc(&once_dpc, timer_dpc, &once_probe);
  initialize_dpc(&periodic_dpc, timer_dpc, &periodic_probe);
  set_timer(&once, ms(10), 0, &once_dpc);
  set_timer(&periodic, ms(5), 5, &periodic_dpc);
  std::int64_t long_wait = ms(10000);
  EXPECT_EQ(wait_for_object(&once, &long_wait), kStatusSuccess);
  // A late DPC thread folds several expiries into one queued DPC: more expiries are waited for until two runs show.
  for (int i = 0; i < 3 || (periodic_probe.runs < 2 && i < 2000); ++i)
    ASSERT_EQ(wait_for_object(&periodic, &long_wait), kStatusSuccess);
  EXPECT_TRUE(cancel_timer(&periodic));
  EXPECT_FALSE(cancel_timer(&once));
  flush_queued_dpcs();
  EXPECT_EQ(once_probe.runs, 1);
  EXPECT_GE(periodic_probe.runs, 2);
}

void thread_body(void* context) { static_cast<std::atomic<int>*>(context)->store(7); }

TEST_F(KernelMachinery, SystemThreadObjectIsSignalledAtItsEnd) {
  std::atomic<int> value{0};
  KernelThread* thread = nullptr;
  ASSERT_EQ(create_system_thread(&thread, thread_body, &value), kStatusSuccess);
  set_thread_priority(thread, kLowRealtimePriority);
  std::int64_t long_wait = ms(10000);
  EXPECT_EQ(wait_for_object(thread, &long_wait), kStatusSuccess);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(thread_priority(thread), kLowRealtimePriority);
  dereference_thread(thread);
}

// A two-device stack: the lower device answers device controls, the upper
// one passes them down with a completion routine.
struct StackProbe {
  std::vector<std::string> steps;
  bool hold_in_routine = false;
};
StackProbe* g_probe = nullptr;

NtStatus lower_dispatch(DeviceObject*, Irp* irp) {
  g_probe->steps.push_back("lower");
  IrpStackLocation* location = get_current_stack_location(irp);
  const char reply[] = "answer";
  std::memcpy(irp->system_buffer, reply, sizeof reply);
  EXPECT_EQ(location->parameters.device_io_control.io_control_code, 0x222010u);
  irp->io_status.status = kStatusSuccess;
  irp->io_status.information = sizeof reply;
  complete_request(irp, kIoNoIncrement);
  return kStatusSuccess;
}

NtStatus upper_completion(DeviceObject* device, Irp* irp, void* context) {
  g_probe->steps.push_back(device == context ? "completion(upper)" : "completion(?)");
  if (g_probe->hold_in_routine) return kStatusMoreProcessingRequired;
  return kStatusSuccess;
}

NtStatus upper_dispatch(DeviceObject* device, Irp* irp) {
  g_probe->steps.push_back("upper");
  copy_current_stack_location_to_next(irp);
  set_completion_routine(irp, upper_completion, device, true, true, true);
  auto* lower = *static_cast<DeviceObject**>(device->extension);
  return call_driver(lower, irp);
}

TEST_F(KernelMachinery, CompletionRoutinesRunOnTheWayUp) {
  StackProbe probe;
  g_probe = &probe;
  DriverObject* lower_driver = create_driver_object(L"\\Driver\\LowerTest");
  DriverObject* upper_driver = create_driver_object(L"\\Driver\\UpperTest");
  lower_driver->major_function[kMajorInternalDeviceControl] = lower_dispatch;
  upper_driver->major_function[kMajorInternalDeviceControl] = upper_dispatch;
  DeviceObject *lower = nullptr, *upper = nullptr;
  ASSERT_EQ(create_device(lower_driver, 0, nullptr, kFileDeviceUnknown, 0, false, &lower), kStatusSuccess);
  ASSERT_EQ(create_device(upper_driver, sizeof(DeviceObject*), nullptr, kFileDeviceUnknown, 0, false, &upper),
            kStatusSuccess);
  *static_cast<DeviceObject**>(upper->extension) = attach_device_to_stack(upper, lower);
  ASSERT_EQ(upper->stack_size, 2);

  KernelEvent event;
  initialize_event(&event, EventType::kNotification, false);
  IoStatusBlock io_status{};
  char output[16] = {};
  Irp* irp = build_device_io_control_request(0x222010, upper, "in", 2, output, sizeof output, true,
                                             &event, &io_status);
  ASSERT_NE(irp, nullptr);
  EXPECT_EQ(send_and_wait(upper, irp, &event, &io_status), kStatusSuccess);
  EXPECT_EQ(io_status.information, 7u);
  EXPECT_STREQ(output, "answer");
  EXPECT_EQ(probe.steps, (std::vector<std::string>{"upper", "lower", "completion(upper)"}));

  // A routine that keeps the request stops the walk: nothing reaches the caller.
  probe.steps.clear();
  probe.hold_in_routine = true;
  initialize_event(&event, EventType::kNotification, false);
  irp = build_device_io_control_request(0x222010, upper, nullptr, 0, output, sizeof output, true,
                                        &event, &io_status);
  call_driver(upper, irp);
  std::int64_t poll = 0;
  EXPECT_EQ(wait_for_object(&event, &poll), kStatusTimeout);
  complete_request(irp, kIoNoIncrement);  // the routine's owner finishes it
  EXPECT_EQ(wait_for_object(&event, &poll), kStatusSuccess);

  detach_device(lower);
  delete_device(upper);
  delete_device(lower);
  free_driver_object(upper_driver);
  free_driver_object(lower_driver);
}

TEST_F(KernelMachinery, UserNamesReachDevicesThroughLinks) {
  DriverObject* driver = create_driver_object(L"\\Driver\\NameTest");
  KernelString name, link, other;
  init_kernel_string(&name, L"\\Device\\NAMETEST");
  init_kernel_string(&link, L"\\DosDevices\\NameTest");
  init_kernel_string(&other, L"\\??\\NAMETEST");
  DeviceObject* device = nullptr;
  ASSERT_EQ(create_device(driver, 0, &name, kFileDeviceUnknown, 0, false, &device), kStatusSuccess);
  ASSERT_EQ(create_symbolic_link(&link, &name), kStatusSuccess);
  EXPECT_EQ(create_symbolic_link(&other, &name), kStatusObjectNameCollision);
  EXPECT_EQ(find_device_by_user_name("\\\\.\\nametest"), device);
  EXPECT_EQ(find_device_by_user_name("\\\\.\\NAMETEST1"), nullptr);
  EXPECT_EQ(find_device_by_user_name("\\\\.\\..\\Device\\NAMETEST"), nullptr);
  EXPECT_EQ(driver->device_list, device);
  delete_device(device);
  EXPECT_EQ(find_device_by_user_name("\\\\.\\NameTest"), nullptr);
  EXPECT_EQ(delete_symbolic_link(&link), kStatusSuccess);
  free_driver_object(driver);
}

#ifndef NDEBUG
void blocking_dpc(Dpc*, void* context, void*, void*) {
  std::int64_t wait = relative_milliseconds(10);
  wait_for_object(context, &wait);
}

TEST(KernelMachineryDeathTest, ADpcThatBlocksStopsTheHost) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        KernelEvent event;
        initialize_event(&event, EventType::kNotification, false);
        Dpc dpc;
        initialize_dpc(&dpc, blocking_dpc, &event);
        queue_dpc(&dpc, nullptr, nullptr);
        flush_queued_dpcs();
      },
      "must not block");
}
#endif

}  // namespace
}  // namespace plat::kernel
