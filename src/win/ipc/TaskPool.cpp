#include "win/ipc/TaskPool.h"

#include <algorithm>
#include <exception>

TTaskPool::TTaskPool(std::int32_t minPoolSize, bool dynamicPool, TWork work, TThreadStarter startThread)
    : FMinPoolSize(std::max<std::int32_t>(minPoolSize, 0)),
      FDynamicPool(dynamicPool),
      FWork(std::move(work)),
      FStartThread(std::move(startThread)) {
  std::lock_guard lock(FMutex);
  for (std::int32_t i = 0; i < FMinPoolSize; ++i) {
    TWorker* w = AddWorker();
    if (!w) break;  // the pool starts smaller and grows when threads can be had again
    FFreeWorkers.push_back(w);
  }
}

TTaskPool::~TTaskPool() { Shutdown(); }

TTaskPool::TWorker* TTaskPool::AddWorker() {
  try {
    FWorkers.push_back(std::make_unique<TWorker>());
  } catch (const std::exception&) {
    return nullptr;
  }
  TWorker& w = *FWorkers.back();
  try {
    // The thread waits for FMutex, held here, before it looks at its worker.
    w.thread = FStartThread([this, &w] { Run(w); });
  } catch (const std::exception&) {
    FWorkers.pop_back();
    return nullptr;
  }
  return &w;
}

bool TTaskPool::Execute(UniqueFileHandle pipe) {
  std::lock_guard lock(FMutex);
  TWorker* w = nullptr;
  if (!FFreeWorkers.empty()) {
    w = FFreeWorkers.back();
    FFreeWorkers.pop_back();
  } else {
    w = AddWorker();
  }
  if (w) {
    w->task = std::move(pipe);
    w->hasTask = true;
    w->wake.notify_one();
    return true;
  }
  if (FWorkers.empty() || FStopping) return false;
  FWaiting.push_back(std::move(pipe));
  return true;
}

void TTaskPool::JoinFinished() {
  TWorkerList done;
  {
    std::lock_guard lock(FMutex);
    done.swap(FFinished);
  }
  JoinAll(done);
}

void TTaskPool::RunWork(UniqueFileHandle pipe) {
  try {
    FWork(std::move(pipe));
  } catch (...) {
    // The work reports its own failures; whatever escapes ends that connection only.
  }
}

void TTaskPool::Run(TWorker& w) {
  std::unique_lock lock(FMutex);
  for (;;) {
    w.wake.wait(lock, [&] { return w.hasTask || w.stop; });
    if (!w.hasTask) return;
    UniqueFileHandle pipe = std::move(w.task);
    w.hasTask = false;
    for (;;) {
      lock.unlock();
      RunWork(std::move(pipe));
      lock.lock();
      if (FStopping) return;
      if (FWaiting.empty()) break;
      pipe = std::move(FWaiting.front());
      FWaiting.pop_front();
    }
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
  std::deque<UniqueFileHandle> waiting;
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
    waiting.swap(FWaiting);
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

std::size_t TTaskPool::Waiting() const {
  std::lock_guard lock(FMutex);
  return FWaiting.size();
}
