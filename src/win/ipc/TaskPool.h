#pragma once
// The workers that serve pipe connections. MinPoolSize workers wait from the start, so an
// accepted connection does not wait for a thread; under load the pool grows without bound,
// and with a dynamic pool a worker that finishes while the pool is above its minimum ends.
#include <windows.h>

#include <condition_variable>
#include <cstddef>
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

  TTaskPool(std::int32_t minPoolSize, bool dynamicPool, TWork work);
  ~TTaskPool();  // Shutdown
  TTaskPool(const TTaskPool&) = delete;
  TTaskPool& operator=(const TTaskPool&) = delete;

  // Hands the connection (and its ownership) to a free worker (the most recently freed first) or a new one.
  // Throws std::system_error when no thread can be created.
  void Execute(UniqueFileHandle pipe);
  // Tells every worker to stop and waits for them; busy workers finish their connection first.
  void Shutdown();
  std::size_t Size() const;
  // Workers serving a connection now.
  std::size_t Busy() const;

 private:
  struct TWorker {
    std::thread thread;
    std::condition_variable wake;
    UniqueFileHandle task;
    bool hasTask = false;
    bool stop = false;
  };
  using TWorkerList = std::list<std::unique_ptr<TWorker>>;

  TWorker& AddWorker();  // with FMutex held
  void Run(TWorker& worker);
  void JoinAll(TWorkerList& workers);

  const std::int32_t FMinPoolSize;
  const bool FDynamicPool;
  const TWork FWork;
  mutable std::mutex FMutex;
  TWorkerList FWorkers;
  TWorkerList FFinished;  // discarded, to be joined
  std::vector<TWorker*> FFreeWorkers;
  bool FStopping = false;
};
