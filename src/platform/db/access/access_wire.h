// The byte stream between the Access reader's child process and the engine.
//
// A stream is a table definition, its rows, and an end mark or an error
// message. WireWriter encodes what the reader hands it; WireReader decodes a
// stream and hands it on, trusting nothing: every length and count is checked
// against the stream's limits, and a stream that stops early is an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/db/access/access_table.h"

namespace dorvane::db {

// Raised by WireReader for a stream that is malformed, too long, cut short,
// or that carries the reader's error message.
class WireError : public std::runtime_error {
 public:
  // reported: the message is the reader's own (it failed cleanly).
  WireError(const std::string& message, bool reported = false)
      : std::runtime_error(message), reported_(reported) {}
  bool reported() const { return reported_; }

 private:
  bool reported_;
};

class WireWriter : public TableSink {
 public:
  // write(data, size) delivers encoded bytes; it raises when it cannot.
  explicit WireWriter(std::function<void(const std::uint8_t*, std::size_t)> write)
      : write_(std::move(write)) {}

  void begin(const AccessTableDef& def) override;
  void row(const std::vector<JetValue>& row) override;
  void end();                              // the stream completed
  void error(const std::string& message);  // the reader failed with message

 private:
  void flushIfFull();
  void flush();
  std::function<void(const std::uint8_t*, std::size_t)> write_;
  std::vector<std::uint8_t> buf_;
};

class WireReader {
 public:
  // read(buf, size) returns up to size bytes, 0 at the end of the stream.
  // maxBytes bounds the whole stream.
  WireReader(std::function<std::size_t(std::uint8_t*, std::size_t)> read, std::size_t maxBytes)
      : read_(std::move(read)), maxBytes_(maxBytes) {}

  // Decodes the stream into sink; returns when its end mark is read. Raises
  // WireError for a bad stream or the reader's error, and passes on whatever
  // sink raises.
  void run(TableSink& sink);

 private:
  std::uint8_t byte();
  std::uint64_t varint();
  void bytes(std::uint8_t* out, std::size_t n);
  std::string string(std::size_t limit);
  void fill();

  std::function<std::size_t(std::uint8_t*, std::size_t)> read_;
  std::size_t maxBytes_;
  std::size_t total_ = 0;
  std::vector<std::uint8_t> buf_;
  std::size_t pos_ = 0;
};

}  // namespace dorvane::db
