// The thread base of the dispatcher thread and of the device layers' threads, with its calls
// onto the main thread, and the dispatcher thread itself.
//
// Threads: each object runs one std::thread. The dispatcher owns the objects and joins them
// (HaltThreads, Destroy); a thread never frees itself, so a thread that runs the dispatcher's
// final release as it ends (DonePortPrim) is joined later by whoever destroys the dispatcher.
// The std::thread may be started or joined on one thread while another sets its priority or
// asks whether it is the current one: threadLock_ orders those, and Join takes the std::thread
// out under it and joins it outside, so no priority change ever meets a thread being joined.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/thread.h"
#include "serial/dispatch/notify.h"

class TSioBaseDispatcher;

class TSioDispatcherThread {
  public:
    // Stores the dispatcher; the thread starts with Start (not in the constructor, so that a
    // derived Execute is complete when it runs).
    explicit TSioDispatcherThread(TSioBaseDispatcher* Disp);
    // Joins the thread unless called on it (then it is detached: it is ending anyway).
    virtual ~TSioDispatcherThread();
    TSioDispatcherThread(const TSioDispatcherThread&) = delete;
    TSioDispatcherThread& operator=(const TSioDispatcherThread&) = delete;

    void Start();
    // Waits for the thread to end; nothing on the thread itself or when it never started.
    void Join();
    bool IsCurrentThread() const;
    // Started and not yet joined (nor being joined).
    bool Joinable() const;

    // Asks Execute to end (it looks at Terminated in its loop).
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }

    // Exit code of Execute, valid once the thread has ended (0 = no error).
    int32_t ReturnValue() const { return returnValue_.load(); }
    // Set by ThreadFinished: the thread has reported its end and touches nothing shared after.
    bool Finished() const { return finished_.load(); }
    void MarkFinished() { finished_.store(true); }

    // The dispatcher thread among its kind (ThreadFinished treats it apart).
    virtual bool IsDispatcherThread() const { return false; }

    // False when the system refused or the thread is not running (never started, joined or
    // being joined).
    bool SetPriority(platform::TThreadPriority P);
    platform::TThreadPriority Priority() const { return priority_.load(); }

    // Runs Event(Msg, Trigger, lParam) on the main thread while this thread waits.
    void SyncNotify(uint32_t Msg, uint32_t Trigger, int32_t lParam, TSioNotifyEvent Event);
    // Runs Method on the main thread while this thread waits.
    void Sync(const std::function<void()>& Method);

    // Marks the serial thread that makes it as blocked in a call onto the main thread (a
    // synchronised call, or a message sent to one of its windows) for as long as it lives. A
    // close on the main thread must not wait for a thread that is waiting for the main thread:
    // it may be called from inside that very call.
    class OntoMainThread {
      public:
        OntoMainThread();
        ~OntoMainThread();
        OntoMainThread(const OntoMainThread&) = delete;
        OntoMainThread& operator=(const OntoMainThread&) = delete;

      private:
        TSioDispatcherThread* thread_;  // not owned; nullptr on a thread that is not ours
    };
    // Any thread: whether this thread is blocked in a call onto the main thread.
    bool InCallOntoMainThread() const { return ontoMainThread_.load() > 0; }

  protected:
    // The thread body; its result becomes ReturnValue. An exception escaping it is shown with
    // the application's exception display; a thread that had not reported its end yet then ends
    // the port as a failing device does (the other threads are stopped) and reports it.
    [[nodiscard]] virtual int32_t Execute() = 0;
    // For a thread whose Execute raised, before its end is reported: ends what the thread still
    // has under way (a pending operation on its buffers). Nothing by default.
    virtual void Abandon() {}
    // For a thread that reports its end (ThreadFinished) before Execute returns: its exit code
    // must be known by then.
    void SetReturnValue(int32_t Value) { returnValue_.store(Value); }

    TSioBaseDispatcher* H;  // not owned; outlives the thread

    // Parameters of the call in progress on the main thread; written and read by this thread
    // only, the main thread reads them while this thread waits.
    uint32_t pMsg = 0;
    uint32_t pTrigger = 0;
    int32_t plParam = 0;
    TSioNotifyEvent pTriggerEvent;

  private:
    void Run();

    mutable std::mutex threadLock_;
    std::thread thread_;  // threadLock_
    std::thread::id id_;  // threadLock_; the running thread's, kept until it has been joined
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int32_t> returnValue_{0};
    std::atomic<platform::TThreadPriority> priority_{platform::TThreadPriority::tpNormal};
    // Written by this thread around its calls onto the main thread; read by any.
    std::atomic<int> ontoMainThread_{0};
};

// The dispatcher thread: waits on the I/O queue at most 50 ms at a time, moves received bytes
// into the dispatch buffer and fires triggers.
class TDispThread : public TSioDispatcherThread {
  public:
    using TSioDispatcherThread::TSioDispatcherThread;
    bool IsDispatcherThread() const override { return true; }

  protected:
    [[nodiscard]] int32_t Execute() override;
};
