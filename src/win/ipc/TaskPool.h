#pragma once
// The workers that serve pipe connections. MinPoolSize workers wait from the start, so an
// accepted connection does not wait for a thread; under load the pool grows (the listener
// hands it at most the server's connection cap at a time), and with a dynamic pool a worker
// that finishes while the pool is above its minimum ends. A thread that cannot be created
// never ends the process: the pool serves with the workers it has, and a connection no free
// worker can take waits for the next worker that finishes.
#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "win/common/Handle.h"

class TTaskPool {
 public:
  using TWork = std::function<void(UniqueFileHandle pipe)>;
  // Starts a thread running body; throws (std::system_error, std::bad_alloc) when it cannot.
  using TThreadStarter = std::function<std::thread(std::function<void()> body)>;
  static std::thread StartThread(std::function<void()> body) { return std::thread(std::move(body)); }

  TTaskPool(std::int32_t minPoolSize, bool dynamicPool, TWork work, TThreadStarter startThread = StartThread);
  ~TTaskPool();  // Shutdown
  TTaskPool(const TTaskPool&) = delete;
  TTaskPool& operator=(const TTaskPool&) = delete;

  // Hands the connection (and its ownership) to a free worker (the most recently freed first)
  // or a new one; when no thread can be created, to the first busy worker that finishes.
  // False when the pool has no worker at all: the connection is closed.
  bool Execute(UniqueFileHandle pipe);
  // Joins the workers discarded since the last call. Kept off the hand-over, so accepting the
  // next client never waits for threads to end.
  void JoinFinished();
  // Tells every worker to stop and waits for them; busy workers finish their connection first,
  // connections still waiting for a worker are closed.
  void Shutdown();
  std::size_t Size() const;
  // Workers serving a connection now.
  std::size_t Busy() const;
  // Connections waiting for a worker.
  std::size_t Waiting() const;

 private:
  struct TWorker {
    std::thread thread;
    std::condition_variable wake;
    UniqueFileHandle task;
    bool hasTask = false;
    bool stop = false;
  };
  using TWorkerList = std::list<std::unique_ptr<TWorker>>;

  // With FMutex held; nullptr when the thread could not be created.
  TWorker* AddWorker();
  void Run(TWorker& worker);
  void RunWork(UniqueFileHandle pipe);
  void JoinAll(TWorkerList& workers);

  const std::int32_t FMinPoolSize;
  const bool FDynamicPool;
  const TWork FWork;
  const TThreadStarter FStartThread;
  mutable std::mutex FMutex;
  TWorkerList FWorkers;
  TWorkerList FFinished;  // discarded, to be joined
  std::vector<TWorker*> FFreeWorkers;
  std::deque<UniqueFileHandle> FWaiting;
  bool FStopping = false;
};
