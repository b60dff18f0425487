#include "archive/ZipPipeline.h"

#include <utility>

#include "winfx/WorkerThread.h"

// The reader is ahead of the writer by at most the pieces and buffers in between. A failure
// the reader finds is a piece of its own, behind the data before it, so the writer meets
// it in archive order: what comes before it is written, as it would be one entry after
// the other, and an earlier failure of the writer's is the one reported. A failure of the
// writer's abandons both queues: the reader's next Put or GetBuffer answers false.

ZipPipeline::ZipPipeline(unzFile zip, HANDLE archive, const std::string& folder,
                         const std::string& finalFolder, CSetupUtil* log,
                         ZipEntryWriter::FolderSet* knownFolders)
    : m_reader(zip, archive, folder, finalFolder), m_writer(folder, log, knownFolders) {}

ZipPipeline::~ZipPipeline() = default;

bool ZipPipeline::ExtractToEnd(ZipDirectoryWalk* walk) {
  m_walk = walk;
  std::unique_ptr<winfx::WorkerThread> worker =
      winfx::WorkerThread::CreateSuspended(&ZipPipeline::ReadOnWorker, this);
  if (!worker) {
    m_reader.ReadToEnd(this, walk);
    return Error() == ERROR_SUCCESS;
  }
  m_direct = false;
  worker->Resume();
  ZipPiece piece;
  while (m_pieces.Pop(&piece) && Write(&piece)) {
  }
  // After the last piece or the writer's failure: a reader still at work stops at its
  // next step.
  m_pieces.Abandon();
  m_freeBuffers.Abandon();
  worker->WaitForEnd(INFINITE);
  return Error() == ERROR_SUCCESS;
}

bool ZipPipeline::ExtractCurrentEntry() {
  m_reader.ReadCurrentEntry(this);
  return Error() == ERROR_SUCCESS;
}

bool ZipPipeline::GetBuffer(std::unique_ptr<char[]>* buffer) {
  if (m_freeBuffers.TryPop(buffer)) return true;
  // Taking turns on one thread, a buffer is back before the next is asked for.
  if (m_direct || m_buffersMade < kBuffers) {
    ++m_buffersMade;
    buffer->reset(new char[ZipPiece::kBufferSize]);
    return true;
  }
  return m_freeBuffers.Pop(buffer);
}

bool ZipPipeline::Put(ZipPiece&& piece) {
  if (m_direct) return Write(&piece);
  return m_pieces.Push(std::move(piece));
}

bool ZipPipeline::Write(ZipPiece* piece) {
  const bool written = m_writer.Take(*piece);
  // Never waits: the queue holds as many buffers as were ever made.
  if (piece->buffer) m_freeBuffers.Push(std::move(piece->buffer));
  return written;
}

unsigned __stdcall ZipPipeline::ReadOnWorker(void* param) {
  ZipPipeline* pipeline = static_cast<ZipPipeline*>(param);
  pipeline->m_reader.ReadToEnd(pipeline, pipeline->m_walk);
  pipeline->m_pieces.Close();
  return 0;
}
