// The document classes of one capture host, kept in one SQLite file in the host's home folder.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/model.h"

struct sqlite3;

namespace capture {

class ClassStore {
 public:
  // Opens or creates the store file (its folder must exist). Null and `error` when it cannot be used.
  static std::unique_ptr<ClassStore> Open(const std::string& path, std::string* error);
  ~ClassStore();
  ClassStore(const ClassStore&) = delete;
  ClassStore& operator=(const ClassStore&) = delete;

  const std::string& Path() const { return path_; }

  // Names of all classes, sorted.
  bool Names(std::vector<std::u16string>& names, std::string* error) const;
  // Class names are matched without regard to ASCII letter case, as the platform does.
  // `found` is false (and the result true) when there is no such class.
  bool Load(std::u16string_view name, DocumentClass& documentClass, bool* found, std::string* error) const;
  // Creates the class; fails when a class of that name exists.
  bool Create(const DocumentClass& documentClass, std::string* error);
  // Creates the class or replaces all of its settings, in one transaction.
  bool Save(const DocumentClass& documentClass, std::string* error);
  // True and `found` false when there was no such class.
  bool Remove(std::u16string_view name, bool* found, std::string* error);

 private:
  ClassStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  bool Write(const DocumentClass& documentClass, bool mustBeNew, std::string* error);

  sqlite3* db_;
  std::string path_;
};

}  // namespace capture
