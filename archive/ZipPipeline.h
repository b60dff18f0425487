// ZipPipeline: one extraction of an open archive into a folder, with its two sides
// overlapped. A worker thread reads and inflates the entries (ZipEntryReader) while the
// calling thread makes and writes the files (ZipEntryWriter). At most kBuffers buffers of
// data are between them, so the memory an extraction takes does not grow with the archive.
// The first failure in archive order ends both sides; it is the one the writer logs.
#pragma once

#include <unzip.h>

#include <memory>
#include <string>

#include "archive/ZipDirectoryWalk.h"
#include "archive/ZipEntryReader.h"
#include "archive/ZipEntryWriter.h"
#include "archive/ZipPiece.h"
#include "winfx/BoundedQueue.h"

class ZipPipeline : private ZipEntryReader::Sink {
 public:
  // Buffers of ZipPiece::kBufferSize bytes between the two sides at the most (2 MiB).
  static constexpr size_t kBuffers = 8;

  // An extraction of zip (open, from its current entry; its data read through archive, a
  // handle on its file) into folder, paths measured in finalFolder as ZipEntryReader does;
  // log and knownFolders as ZipEntryWriter takes them. zip, archive, log and knownFolders
  // outlive the pipeline.
  ZipPipeline(unzFile zip, HANDLE archive, const std::string& folder,
              const std::string& finalFolder, CSetupUtil* log,
              ZipEntryWriter::FolderSet* knownFolders);
  ~ZipPipeline() override;
  ZipPipeline(const ZipPipeline&) = delete;
  ZipPipeline& operator=(const ZipPipeline&) = delete;

  // Extracts the current entry (walk's, at an entry) and every one after it, up to where
  // walk finds the directory's end, inflating on a worker thread while this one writes; both sides take turns on
  // this thread when no worker can be made. True when all were extracted; false at the
  // first failure, with Error() its reason. Returns once the worker has ended.
  bool ExtractToEnd(ZipDirectoryWalk* walk);

  // Extracts the current entry alone, on this thread. As ExtractToEnd otherwise.
  bool ExtractCurrentEntry();

  // ERROR_SUCCESS, or the reason of the failure that ended the extraction.
  DWORD Error() const { return m_writer.Error(); }

  // Bytes inflated out of entries by the extraction.
  unsigned long long InflatedBytes() const { return m_reader.InflatedBytes(); }

 private:
  // The reader's side of the exchange (see ZipEntryReader::Sink).
  bool GetBuffer(std::unique_ptr<char[]>* buffer) override;
  bool Put(ZipPiece&& piece) override;
  // The writer takes piece; its buffer goes back for the reader. False when it failed.
  bool Write(ZipPiece* piece);
  // The worker's procedure: the reader to the end, then no more pieces.
  static unsigned __stdcall ReadOnWorker(void* param);

  ZipEntryReader m_reader;
  ZipEntryWriter m_writer;
  ZipDirectoryWalk* m_walk = nullptr;
  // Pieces go straight to the writer as the reader puts them (one thread does both).
  bool m_direct = true;
  winfx::BoundedQueue<ZipPiece> m_pieces{kBuffers};
  // Buffers the writer is done with; the reader's alone: how many it has made.
  winfx::BoundedQueue<std::unique_ptr<char[]>> m_freeBuffers{kBuffers};
  size_t m_buffersMade = 0;
};
