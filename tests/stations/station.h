// Release stations for tests: capture host processes with homes of their own, an invoice document class, batch
// files of invoices written document by document, and what the ECM tables hold afterwards, checked document by
// document (a document is known by its invoice number; its records share its key).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace station {

// Starts a program with its standard output and error going to files; -1 when it cannot be started.
inline pid_t Spawn(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit status, or 128 + the signal that ended it.
inline int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A text as a JSON string.
inline std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

inline constexpr char kClassName[] = "Invoice";
inline constexpr int kLinesPerDocument = 3;

// The invoice class: vendor, invoice number and date on the document, item and quantity per invoice line.
inline std::string InvoiceClassJson(const std::string& server, const std::string& library, const std::string& user,
                                    const std::string& password) {
  return std::string("{\n") + "  \"documentClass\": \"" + kClassName + "\",\n" +
         "  \"instanceName\": \"ECM export\",\n" + "  \"serverName\": " + JsonText(server) + ",\n" +
         "  \"userName\": " + JsonText(user) + ",\n" + "  \"password\": " + JsonText(password) + ",\n" +
         "  \"customProperties\": { \"serverAPILibrary\": " + JsonText(library) + " },\n" +
         "  \"indexFields\": [ \"VendorId\", \"InvoiceNumber\", \"InvoiceDate\",\n"
         "    { \"name\": \"ItemNumber\", \"table\": \"InvoiceLines\" }, { \"name\": \"Quantity\", \"table\": "
         "\"InvoiceLines\" } ],\n"
         "  \"links\": [\n"
         "    { \"source\": \"VendorId\", \"type\": \"indexField\", \"destination\": \"TPEC.PESID\" },\n"
         "    { \"source\": \"QORVENA01\", \"type\": \"textConstant\", \"destination\": \"TPEC.PERCD\" },\n"
         "    { \"source\": \"APINVOICE\", \"type\": \"textConstant\", \"destination\": \"TPEC.PEDWN\" },\n"
         "    { \"source\": \"GRP1\", \"type\": \"textConstant\", \"destination\": \"TPEC.PEPGN\" },\n"
         "    { \"source\": \"InvoiceDate\", \"type\": \"indexField\", \"destination\": \"TBHB.BHIND\" },\n"
         "    { \"source\": \"VendorId\", \"type\": \"indexField\", \"destination\": \"TBHB.BHSEN\" },\n"
         "    { \"source\": \"InvoiceNumber\", \"type\": \"indexField\", \"destination\": \"TBHB.BHINV\" },\n"
         "    { \"source\": \"ItemNumber\", \"type\": \"indexField\", \"destination\": \"TBLB.BLCIT\" },\n"
         "    { \"source\": \"Quantity\", \"type\": \"indexField\", \"destination\": \"TBLB.BLINQ\" }\n"
         "  ]\n}\n";
}

// "PREFIX-000042"
inline std::string InvoiceNumber(const std::string& prefix, std::size_t n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06zu", n);
  return prefix + "-" + digits;
}
inline std::string ItemNumber(const std::string& invoice, int line) { return invoice + "/" + std::to_string(line); }

// A batch of `count` invoices PREFIX-000001 ..., each with three lines, written one document at a time.
inline bool WriteBatch(const std::filesystem::path& path, const std::string& prefix, std::size_t count) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "{\n  \"name\": " << JsonText("Batch " + prefix) << ",\n  \"documentClass\": \"" << kClassName
      << "\",\n  \"documents\": [\n";
  for (std::size_t n = 1; n <= count; ++n) {
    const std::string invoice = InvoiceNumber(prefix, n);
    out << "    {\"name\": \"" << invoice << "\", \"kofaxPdfFileName\": \"/release/" << invoice
        << ".pdf\", \"indexFields\": {\"VendorId\": \"V1001\", \"InvoiceNumber\": \"" << invoice
        << "\", \"InvoiceDate\": \"20240315\", \"InvoiceLines\": [";
    for (int line = 1; line <= kLinesPerDocument; ++line)
      out << (line > 1 ? ", " : "") << "{\"ItemNumber\": \"" << ItemNumber(invoice, line) << "\", \"Quantity\": \""
          << line << "\"}";
    out << "]}}" << (n < count ? "," : "") << "\n";
  }
  out << "  ]\n}\n";
  return static_cast<bool>(out.flush());
}

// What the four tables hold, column texts with CHAR padding removed.
struct Records {
  struct Header {
    std::string invoice, key;
  };
  struct Line {
    std::string invoice, key, item;
    int number;
  };
  std::vector<std::string> tpecKeys;
  std::vector<Header> tbhb, tbsb;
  std::vector<Line> tblb;
};

inline std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The records of an embedded library; `error` says why they could not be read.
inline Records ReadSqliteRecords(const std::filesystem::path& library, std::string& error) {
  Records r;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(library.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    error = "cannot open " + library.string() + ": " + sqlite3_errmsg(db);
    sqlite3_close(db);
    return r;
  }
  auto query = [&](const char* sql, auto&& row) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
      error = sql + std::string(": ") + sqlite3_errmsg(db);
      return;
    }
    auto text = [&](int c) {
      const unsigned char* t = sqlite3_column_text(st, c);
      return Trim(t ? reinterpret_cast<const char*>(t) : "");
    };
    while (sqlite3_step(st) == SQLITE_ROW) row(text, st);
    sqlite3_finalize(st);
  };
  query("SELECT PEGUI FROM TPEC", [&](auto& text, sqlite3_stmt*) { r.tpecKeys.push_back(text(0)); });
  query("SELECT BHINV, BHGUI FROM TBHB", [&](auto& text, sqlite3_stmt*) { r.tbhb.push_back({text(0), text(1)}); });
  query("SELECT BSINV, BSGUI FROM TBSB", [&](auto& text, sqlite3_stmt*) { r.tbsb.push_back({text(0), text(1)}); });
  query("SELECT BLINV, BLGUI, BLCIT, BLOLN FROM TBLB", [&](auto& text, sqlite3_stmt* st) {
    r.tblb.push_back({text(0), text(1), text(2), sqlite3_column_int(st, 3)});
  });
  sqlite3_close(db);
  return r;
}

struct Verdict {
  std::vector<std::string> problems;  // documents missing, doubled or wrongly keyed
  std::size_t sharedKeys = 0;         // keys that two or more documents took
  std::size_t documentsOnSharedKeys = 0;
};

// Every invoice of `expected` must be in the tables exactly once: one TBHB and one TBSB record, its lines
// numbered 1..3 with its own items, all under one key; TPEC holds one record per document under that key.
// Nothing else may be there.
inline Verdict Check(const Records& r, const std::vector<std::string>& expected) {
  Verdict v;
  auto problem = [&](std::string text) {
    if (v.problems.size() < 20) v.problems.push_back(std::move(text));
  };
  std::map<std::string, std::vector<std::string>> headerKeys, shipmentKeys;
  std::map<std::string, std::vector<Records::Line>> lines;
  for (const auto& h : r.tbhb) headerKeys[h.invoice].push_back(h.key);
  for (const auto& s : r.tbsb) shipmentKeys[s.invoice].push_back(s.key);
  for (const auto& l : r.tblb) lines[l.invoice].push_back(l);
  std::map<std::string, std::size_t> documentsPerKey, tpecPerKey;
  for (const std::string& key : r.tpecKeys) ++tpecPerKey[key];

  std::set<std::string> known(expected.begin(), expected.end());
  for (const std::string& invoice : expected) {
    auto& h = headerKeys[invoice];
    auto& s = shipmentKeys[invoice];
    if (h.size() != 1 || s.size() != 1) {
      problem(invoice + ": " + std::to_string(h.size()) + " TBHB and " + std::to_string(s.size()) + " TBSB records");
      continue;
    }
    const std::string& key = h[0];
    ++documentsPerKey[key];
    if (s[0] != key) problem(invoice + ": TBSB keyed " + s[0] + ", TBHB " + key);
    auto& ls = lines[invoice];
    if (ls.size() != kLinesPerDocument) problem(invoice + ": " + std::to_string(ls.size()) + " lines");
    std::set<int> numbers;
    for (const auto& l : ls) {
      if (l.key != key) problem(invoice + ": a line keyed " + l.key + ", the header " + key);
      if (l.item != ItemNumber(invoice, l.number)) problem(invoice + ": line " + std::to_string(l.number) + " holds " + l.item);
      numbers.insert(l.number);
    }
    if (numbers != std::set<int>{1, 2, 3}) problem(invoice + ": lines not numbered 1 to 3");
  }
  for (const auto& [invoice, keys] : headerKeys)
    if (!known.count(invoice) && !keys.empty()) problem("TBHB holds the unknown invoice " + invoice);
  for (const auto& [invoice, ls] : lines)
    if (!known.count(invoice) && !ls.empty()) problem("TBLB holds lines of the unknown invoice " + invoice);
  for (const auto& [key, documents] : documentsPerKey) {
    if (tpecPerKey[key] != documents)
      problem("key " + key + ": " + std::to_string(documents) + " documents, " + std::to_string(tpecPerKey[key]) +
              " TPEC records");
    if (documents > 1) {
      ++v.sharedKeys;
      v.documentsOnSharedKeys += documents;
    }
  }
  std::size_t tpecTotal = r.tpecKeys.size();
  if (tpecTotal != expected.size())
    problem("TPEC holds " + std::to_string(tpecTotal) + " records for " + std::to_string(expected.size()) + " documents");
  return v;
}

}  // namespace station
