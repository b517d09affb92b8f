#include "runMemory.h"

#include "task.h"

TaskMemory& RunMemory::of(const Task& task) {
    TaskMemory& memory = m_tasks[task.recordNumber];
    if (memory.source != task.source || memory.destination != task.destination) {
        memory = TaskMemory();
        memory.source = task.source;
        memory.destination = task.destination;
    }
    return memory;
}

const TaskMemory* RunMemory::find(int recordNumber) const {
    const auto memory = m_tasks.constFind(recordNumber);
    return memory == m_tasks.cend() ? nullptr : &*memory;
}

void RunMemory::forget(int recordNumber) {
    m_tasks.remove(recordNumber);
}
