#include "win/ipc/TaskPool.h"

#include <algorithm>

TTaskPool::TTaskPool(std::int32_t minPoolSize, bool dynamicPool, TWork work)
    : FMinPoolSize(std::max<std::int32_t>(minPoolSize, 0)), FDynamicPool(dynamicPool), FWork(std::move(work)) {
  std::lock_guard lock(FMutex);
  for (std::int32_t i = 0; i < FMinPoolSize; ++i) FFreeWorkers.push_back(&AddWorker());
}

TTaskPool::~TTaskPool() { Shutdown(); }

TTaskPool::TWorker& TTaskPool::AddWorker() {
  auto worker = std::make_unique<TWorker>();
  TWorker& w = *worker;
  FWorkers.push_back(std::move(worker));
  try {
    w.thread = std::thread([this, &w] { Run(w); });
  } catch (...) {
    FWorkers.pop_back();
    throw;
  }
  return w;
}

void TTaskPool::Execute(UniqueFileHandle pipe) {
  TWorkerList done;
  {
    std::lock_guard lock(FMutex);
    done.swap(FFinished);
    TWorker* w = nullptr;
    if (!FFreeWorkers.empty()) {
      w = FFreeWorkers.back();
      FFreeWorkers.pop_back();
    } else {
      w = &AddWorker();
    }
    w->task = std::move(pipe);
    w->hasTask = true;
    w->wake.notify_one();
  }
  JoinAll(done);
}

void TTaskPool::Run(TWorker& w) {
  std::unique_lock lock(FMutex);
  for (;;) {
    w.wake.wait(lock, [&] { return w.hasTask || w.stop; });
    if (!w.hasTask) return;
    UniqueFileHandle pipe = std::move(w.task);
    w.hasTask = false;
    lock.unlock();
    FWork(std::move(pipe));
    lock.lock();
    if (FStopping) return;
    if (FDynamicPool && FWorkers.size() > static_cast<std::size_t>(FMinPoolSize)) {
      auto it = std::find_if(FWorkers.begin(), FWorkers.end(), [&](const auto& p) { return p.get() == &w; });
      FFinished.splice(FFinished.end(), FWorkers, it);
      return;
    }
    FFreeWorkers.push_back(&w);
  }
}

void TTaskPool::Shutdown() {
  TWorkerList all;
  {
    std::lock_guard lock(FMutex);
    FStopping = true;
    for (auto& w : FWorkers) {
      w->stop = true;
      w->wake.notify_one();
    }
    all.swap(FWorkers);
    all.splice(all.end(), FFinished);
    FFreeWorkers.clear();
  }
  JoinAll(all);
}

void TTaskPool::JoinAll(TWorkerList& workers) {
  for (auto& w : workers)
    if (w->thread.joinable()) w->thread.join();
  workers.clear();
}

std::size_t TTaskPool::Size() const {
  std::lock_guard lock(FMutex);
  return FWorkers.size();
}

std::size_t TTaskPool::Busy() const {
  std::lock_guard lock(FMutex);
  return FWorkers.size() - FFreeWorkers.size();
}
