// Writing a session tree in the container layout (container_format.h).
#pragma once

#include <cstdint>
#include <exception>

namespace kestron4 {

class StreamWriter;
class SessionCore;
struct ItemBlock;

// Writes the header and then `top` as the root block record: the container
// of the subtree under top. Walks the nesting with an explicit stack.
//
// Bytes that are not in memory are copied from where they lie in pieces of
// container::kCopyPieceBytes: an outside file of a data value directly, a
// mapped view or a source stream through SessionCore::ReadBytes.
//
// Every block record's size field is its cached size. As each block ends,
// the bytes written for it are checked against that size; a cached size that
// does not match what was written throws ECachedSizeMismatch, and the output
// written so far is not a valid container. SessionCore::RecomputeSizes(top)
// beforehand makes every cached size exact.
//
// Failures are thrown: EWriteError from the output (which then refuses
// every later write), EOpenError or
// EReadError when bytes outside memory cannot be read. A tree holding a
// value that would not read back with its size (a blob that disagrees with
// its size value 1066 before it, a string whose length prefix disagrees
// with its size) is refused with EWriteError: by default before anything is
// written; with kWhileWriting as each value is about to be copied, which
// spares a walk over the whole tree when the output is thrown away on
// failure anyway (the scratch file of an atomic save).
enum class ReadBackCheck { kBeforeWriting, kWhileWriting };
void WriteContainer(SessionCore& session, ItemBlock* top, StreamWriter& out,
                    ReadBackCheck check = ReadBackCheck::kBeforeWriting);

// Whether every size field of the container of the subtree under top fits
// its 32 bits. None is larger than top's own content size (a blob's size
// value 1066 included, as the blob lies inside its block), so that one
// cached size decides. Nothing of a tree that fails this may be written.
bool FitsContainerFields(const ItemBlock& top);

// A cached block size that did not match the bytes written for the block.
struct ECachedSizeMismatch : std::exception {
  const char* what() const noexcept override { return "cached block size out of date"; }
};

}  // namespace kestron4
