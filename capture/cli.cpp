#include "capture/cli.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <set>

#include "capture/connector.h"
#include "capture/json_io.h"
#include "capture/release.h"
#include "capture/setup_command.h"
#include "capture/store.h"
#include "ecm/ddl.h"
#include "ecm/settings.h"
#include "platform/com/activation.h"
#include "platform/com/utf.h"
#include "platform/registry/com_registry.h"
#include "platform/registry/registry.h"

namespace fs = std::filesystem;

namespace capture {

namespace {

constexpr const char* kUsage = R"(usage: capture-host [--home DIR] [--registry FILE] COMMAND [ARGUMENTS]

Connector modules
  register MODULE                  register a connector module (runs its DllRegisterServer)
  unregister MODULE                remove its registration (runs its DllUnregisterServer)

Document classes
  classes                          list the document classes
  class-create NAME [--batch-class NAME] [--connector PROGID]
               [--index-field NAME]... [--table-field TABLE/NAME]... [--batch-field NAME]...
  class-set NAME [--instance TEXT] [--server TEXT] [--user TEXT] [--password TEXT]
               [--library LIB] [--property NAME=VALUE]... [--connector PROGID]
  class-show NAME                  settings, fields and links of a class
  class-import FILE [--replace]    create (or replace) a class from a class file
  class-export NAME [--output FILE]
  class-delete NAME
  setup NAME [--setup PROGID]      the connector's setup sheet for a class (needs a display); OK stores it

Release
  release BATCH [--class NAME] [--quiet]
                                   release every document of a batch file
  log [--messages] [--clear]       the error log (or the release messages)

ECM library (embedded)
  ecm-init --server DIR --library LIB
  ecm-show (--server DIR --library LIB | --class NAME)

  demo [--examples DIR]            a whole release of the sample invoices into a new library

The home folder (document classes, error log) is --home, else $QORVENA_HOME, else ~/.qorvena-capture.
The registry of connector classes is --registry, else $QORVENA_REGISTRY, else HOME/registry.json.
)";

std::string U8(std::u16string_view s) { return Utf16ToUtf8(s); }
std::u16string U16(std::string_view s) { return Utf8ToUtf16(s); }

struct UsageError {
  std::string message;
};

// Options of one command: which take a value, which may repeat, which are flags.
struct OptionSpec {
  std::set<std::string> valued;
  std::set<std::string> flags;
};

struct Parsed {
  std::vector<std::string> positional;
  std::multimap<std::string, std::string> values;
  std::set<std::string> flags;

  std::string Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
  bool Has(const std::string& name) const { return values.count(name) > 0 || flags.count(name) > 0; }
  std::vector<std::string> All(const std::string& name) const {
    std::vector<std::string> out;
    auto [b, e] = values.equal_range(name);
    for (auto it = b; it != e; ++it) out.push_back(it->second);
    return out;
  }
};

Parsed Parse(const std::vector<std::string>& args, std::size_t first, const OptionSpec& spec, std::size_t minPositional,
             std::size_t maxPositional) {
  Parsed p;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.rfind("--", 0) == 0) {
      std::string name = a.substr(2), value;
      bool inlineValue = false;
      if (auto eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        inlineValue = true;
      }
      if (spec.flags.count(name) && !inlineValue) {
        p.flags.insert(name);
      } else if (spec.valued.count(name)) {
        if (!inlineValue) {
          if (i + 1 >= args.size()) throw UsageError{"the option --" + name + " needs a value"};
          value = args[++i];
        }
        p.values.emplace(name, value);
      } else {
        throw UsageError{"unknown option " + a};
      }
    } else {
      p.positional.push_back(a);
    }
  }
  if (p.positional.size() < minPositional) throw UsageError{"missing argument"};
  if (p.positional.size() > maxPositional) throw UsageError{"unexpected argument '" + p.positional[maxPositional] + "'"};
  return p;
}

class Cli {
 public:
  Cli(const CliEnvironment& env) : env_(env), out_(*env.out), err_(*env.err) {}

  int Run(const std::vector<std::string>& args);

 private:
  // ---- home and store ----
  bool PrepareHome() {
    std::error_code ec;
    fs::create_directories(home_, ec);
    if (!fs::is_directory(home_, ec)) {
      err_ << "capture-host: cannot use the home folder " << home_.string() << (ec ? ": " + ec.message() : "") << "\n";
      return false;
    }
    ::chmod(home_.c_str(), 0700);  // it holds passwords
    return true;
  }

  ClassStore* Store() {
    if (store_) return store_.get();
    if (!PrepareHome()) return nullptr;
    std::string error;
    store_ = ClassStore::Open((home_ / "classes.db").string(), &error);
    if (!store_) err_ << "capture-host: " << error << "\n";
    return store_.get();
  }

  LogFile ErrorLog() const { return LogFile((home_ / "error.log").string()); }
  LogFile MessageLog() const { return LogFile((home_ / "messages.log").string()); }

  // Loads a class; prints why not. Exit status in `status` when it fails.
  bool LoadClass(const std::string& name, DocumentClass& c, int& status) {
    ClassStore* store = Store();
    if (!store) {
      status = kExitFailed;
      return false;
    }
    bool found = false;
    std::string error;
    if (!store->Load(U16(name), c, &found, &error)) {
      err_ << "capture-host: " << error << "\n";
      status = kExitFailed;
      return false;
    }
    if (!found) {
      err_ << "capture-host: there is no document class '" << name << "' in " << store->Path()
           << " (see 'capture-host classes')\n";
      status = kExitBadInput;
      return false;
    }
    return true;
  }

  // ---- commands ----
  int RegisterModule(const std::vector<std::string>& args, bool doRegister);
  int Classes(const std::vector<std::string>& args);
  int ClassCreate(const std::vector<std::string>& args);
  int ClassSet(const std::vector<std::string>& args);
  int ClassShow(const std::vector<std::string>& args);
  int ClassImport(const std::vector<std::string>& args);
  int ClassExport(const std::vector<std::string>& args);
  int ClassDelete(const std::vector<std::string>& args);
  int Release(const std::vector<std::string>& args);
  int Setup(const std::vector<std::string>& args);
  int Log(const std::vector<std::string>& args);
  int EcmInit(const std::vector<std::string>& args);
  int EcmShow(const std::vector<std::string>& args);
  int Demo(const std::vector<std::string>& args);

  // Releases `total` documents that `feed` hands to the release one at a time; `batch` holds the batch's own
  // members. False from `feed` (with its reason) when the batch could not be read to its end.
  using DocumentFeed = std::function<bool(BatchRelease& release, std::string* error)>;
  int ReleaseDocuments(const DocumentClass& c, const Batch& batch, std::size_t total, const DocumentFeed& feed,
                       bool quiet, ReleaseReport* result = nullptr);
  int ShowLibrary(const std::string& server, const std::string& library);

  const CliEnvironment& env_;
  std::ostream& out_;
  std::ostream& err_;
  fs::path home_;
  std::unique_ptr<ClassStore> store_;
  std::size_t first_ = 2;  // index of the first argument after the command
};

// The embedded server folder of a server name: "sqlite:DIR" or a folder.
std::string ServerFolder(const std::string& server) {
  if (server.rfind("sqlite:", 0) == 0) return server.substr(7);
  return server;
}

int Cli::Run(const std::vector<std::string>& args) {
  std::size_t i = 1;
  std::string home, registry;
  while (i < args.size() && args[i].rfind("--", 0) == 0) {
    if (args[i] == "--home" && i + 1 < args.size()) {
      home = args[i + 1];
      i += 2;
    } else if (args[i].rfind("--home=", 0) == 0) {
      home = args[i].substr(7);
      ++i;
    } else if (args[i] == "--registry" && i + 1 < args.size()) {
      registry = args[i + 1];
      i += 2;
    } else if (args[i].rfind("--registry=", 0) == 0) {
      registry = args[i].substr(11);
      ++i;
    } else if (args[i] == "--help") {
      out_ << kUsage;
      return kExitOk;
    } else {
      err_ << "capture-host: unknown option " << args[i] << "\n" << kUsage;
      return kExitBadInput;
    }
  }
  if (i >= args.size()) {
    err_ << kUsage;
    return kExitBadInput;
  }
  if (home.empty())
    if (const char* env = std::getenv("QORVENA_HOME"); env && *env) home = env;
  if (home.empty()) home = env_.defaultHome;
  if (home.empty()) {
    err_ << "capture-host: no home folder: give --home DIR or set QORVENA_HOME\n";
    return kExitBadInput;
  }
  home_ = fs::absolute(home);
  // The classes a document class can name are registered in the host's own registry store.
  if (!registry.empty()) {
    RegistrySetStorePath(fs::absolute(registry).string());
  } else if (const char* env = std::getenv("QORVENA_REGISTRY"); !env || !*env) {
    RegistrySetStorePath((home_ / "registry.json").string());
  }
  first_ = i + 1;
  const std::string& command = args[i];
  try {
    if (command == "help") {
      out_ << kUsage;
      return kExitOk;
    }
    if (command == "register") return RegisterModule(args, true);
    if (command == "unregister") return RegisterModule(args, false);
    if (command == "classes") return Classes(args);
    if (command == "class-create") return ClassCreate(args);
    if (command == "class-set") return ClassSet(args);
    if (command == "class-show") return ClassShow(args);
    if (command == "class-import") return ClassImport(args);
    if (command == "class-export") return ClassExport(args);
    if (command == "class-delete") return ClassDelete(args);
    if (command == "setup") return Setup(args);
    if (command == "release") return Release(args);
    if (command == "log") return Log(args);
    if (command == "ecm-init") return EcmInit(args);
    if (command == "ecm-show") return EcmShow(args);
    if (command == "demo") return Demo(args);
    err_ << "capture-host: unknown command '" << command << "'\n" << kUsage;
    return kExitBadInput;
  } catch (const UsageError& e) {
    err_ << "capture-host " << command << ": " << e.message << "\n" << kUsage;
    return kExitBadInput;
  }
}

int Cli::RegisterModule(const std::vector<std::string>& args, bool doRegister) {
  Parsed p = Parse(args, first_, {}, 1, 1);
  if (!PrepareHome()) return kExitFailed;
  std::string message;
  HRESULT hr = doRegister ? RegisterServerModule(p.positional[0], &message)
                          : UnregisterServerModule(p.positional[0], &message);
  if (FAILED(hr)) {
    err_ << "capture-host: " << (doRegister ? "registering " : "unregistering ") << p.positional[0] << " failed: "
         << message << "\n";
    return kExitFailed;
  }
  out_ << (doRegister ? "registered " : "unregistered ") << fs::absolute(p.positional[0]).string() << " in "
       << RegistryStorePath() << "\n";
  return kExitOk;
}

int Cli::Classes(const std::vector<std::string>& args) {
  Parse(args, first_, {}, 0, 0);
  ClassStore* store = Store();
  if (!store) return kExitFailed;
  std::vector<std::u16string> names;
  std::string error;
  if (!store->Names(names, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitFailed;
  }
  if (names.empty()) out_ << "No document classes in " << store->Path() << "\n";
  for (const auto& name : names) {
    DocumentClass c;
    bool found = false;
    if (!store->Load(name, c, &found, &error) || !found) continue;
    std::u16string library;
    for (const auto& p : c.customProperties)
      if (p.name == kLibraryProperty) library = p.value;
    out_ << U8(c.name) << "  (batch class '" << U8(c.batchClassName) << "', connector " << U8(c.connectorProgId)
         << ", server '" << U8(c.serverName) << "', library '" << U8(library) << "', " << c.links.size()
         << " links)\n";
  }
  return kExitOk;
}

int Cli::ClassCreate(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{"batch-class", "connector", "index-field", "table-field", "batch-field"}, {}}, 1, 1);
  DocumentClass c;
  c.name = U16(p.positional[0]);
  if (c.name.empty()) throw UsageError{"a document class needs a name"};
  c.batchClassName = U16(p.Value("batch-class"));
  if (p.Has("connector")) c.connectorProgId = U16(p.Value("connector"));
  c.valueNames = DefaultValueNames();
  std::set<std::u16string> names;
  for (const auto& f : p.All("index-field")) {
    if (f.empty()) throw UsageError{"an index field needs a name"};
    c.indexFields.push_back({U16(f), {}});
  }
  for (const auto& f : p.All("table-field")) {
    auto slash = f.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == f.size())
      throw UsageError{"--table-field takes TABLE/NAME, not '" + f + "'"};
    c.indexFields.push_back({U16(f.substr(slash + 1)), U16(f.substr(0, slash))});
  }
  for (const auto& f : c.indexFields) {
    if (!names.insert(f.name).second) throw UsageError{"the index field '" + U8(f.name) + "' is given twice"};
    if (c.HasTable(f.name)) throw UsageError{"the index field '" + U8(f.name) + "' has the name of a table"};
  }
  std::set<std::u16string> batchFields;
  for (const auto& f : p.All("batch-field")) {
    if (f.empty() || !batchFields.insert(U16(f)).second) throw UsageError{"bad or repeated batch field '" + f + "'"};
    c.batchFields.push_back(U16(f));
  }
  ClassStore* store = Store();
  if (!store) return kExitFailed;
  std::string error;
  if (!store->Create(c, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitFailed;
  }
  out_ << "Created the document class '" << U8(c.name) << "'\n";
  return kExitOk;
}

int Cli::ClassSet(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_,
                   {{"instance", "server", "user", "password", "library", "property", "connector"}, {}}, 1, 1);
  DocumentClass c;
  int status = kExitOk;
  if (!LoadClass(p.positional[0], c, status)) return status;
  auto setProperty = [&](const std::u16string& name, const std::u16string& value) {
    for (auto& prop : c.customProperties)
      if (prop.name == name) {
        prop.value = value;
        return;
      }
    c.customProperties.push_back({name, value});
  };
  if (p.Has("instance")) c.instanceName = U16(p.Value("instance"));
  if (p.Has("server")) c.serverName = U16(p.Value("server"));
  if (p.Has("user")) c.userName = U16(p.Value("user"));
  if (p.Has("password")) c.password = U16(p.Value("password"));
  if (p.Has("connector")) c.connectorProgId = U16(p.Value("connector"));
  if (p.Has("library")) setProperty(kLibraryProperty, U16(p.Value("library")));
  for (const auto& prop : p.All("property")) {
    auto eq = prop.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError{"--property takes NAME=VALUE, not '" + prop + "'"};
    setProperty(U16(prop.substr(0, eq)), U16(prop.substr(eq + 1)));
  }
  std::string error;
  if (!Store()->Save(c, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitFailed;
  }
  out_ << "Updated the document class '" << U8(c.name) << "'\n";
  return kExitOk;
}

int Cli::ClassShow(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {}, 1, 1);
  DocumentClass c;
  int status = kExitOk;
  if (!LoadClass(p.positional[0], c, status)) return status;
  out_ << "Document class   " << U8(c.name) << "\n"
       << "Batch class      " << U8(c.batchClassName) << "\n"
       << "Connector        " << U8(c.connectorProgId) << "\n"
       << "Instance name    " << U8(c.instanceName) << "\n"
       << "Server name      " << U8(c.serverName) << "\n"
       << "User name        " << U8(c.userName) << "\n"
       << "Password         " << (c.password.empty() ? "(none)" : "(set)") << "\n";
  out_ << "Custom properties (" << c.customProperties.size() << ")\n";
  for (const auto& prop : c.customProperties) out_ << "  " << U8(prop.name) << " = " << U8(prop.value) << "\n";
  out_ << "Index fields (" << c.indexFields.size() << ")\n";
  for (const auto& f : c.indexFields)
    out_ << "  " << U8(f.name) << (f.table.empty() ? "" : "  (table " + U8(f.table) + ")") << "\n";
  out_ << "Batch fields (" << c.batchFields.size() << ")\n";
  for (const auto& f : c.batchFields) out_ << "  " << U8(f) << "\n";
  out_ << "Links (" << c.links.size() << ")\n";
  for (const auto& l : c.links)
    out_ << "  " << U8(l.destination) << " <- " << SourceTypeName(l.sourceType) << " '" << U8(l.source) << "'\n";
  out_ << "Platform values offered to the setup: " << c.valueNames.size() << "\n";
  return kExitOk;
}

int Cli::ClassImport(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{}, {"replace"}}, 1, 1);
  DocumentClass c;
  std::string error;
  if (!ReadClassFile(p.positional[0], c, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitBadInput;
  }
  ClassStore* store = Store();
  if (!store) return kExitFailed;
  bool ok = p.Has("replace") ? store->Save(c, &error) : store->Create(c, &error);
  if (!ok) {
    err_ << "capture-host: " << error << (p.Has("replace") ? "" : " (use --replace to replace it)") << "\n";
    return kExitFailed;
  }
  out_ << (p.Has("replace") ? "Stored" : "Created") << " the document class '" << U8(c.name) << "' from "
       << p.positional[0] << "\n";
  return kExitOk;
}

int Cli::ClassExport(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{"output"}, {}}, 1, 1);
  DocumentClass c;
  int status = kExitOk;
  if (!LoadClass(p.positional[0], c, status)) return status;
  std::string json = ClassToJson(c);
  if (!p.Has("output")) {
    out_ << json;
    return kExitOk;
  }
  const std::string path = p.Value("output");
  const std::string temp = path + ".tmp";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file << json;
    if (!file.flush()) {
      err_ << "capture-host: cannot write " << temp << "\n";
      return kExitFailed;
    }
  }
  std::error_code ec;
  fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write, ec);  // it holds the password
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    err_ << "capture-host: cannot write " << path << "\n";
    return kExitFailed;
  }
  out_ << "Wrote the document class '" << U8(c.name) << "' to " << path << "\n";
  return kExitOk;
}

int Cli::ClassDelete(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {}, 1, 1);
  ClassStore* store = Store();
  if (!store) return kExitFailed;
  bool found = false;
  std::string error;
  if (!store->Remove(U16(p.positional[0]), &found, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitFailed;
  }
  if (!found) {
    err_ << "capture-host: there is no document class '" << p.positional[0] << "'\n";
    return kExitBadInput;
  }
  out_ << "Deleted the document class '" << p.positional[0] << "'\n";
  return kExitOk;
}

// Keeps one line on the terminal up to date while documents are released.
class Progress final : public ReleaseObserver {
 public:
  Progress(std::ostream& out, std::ostream& err, bool draw, bool quiet) : out_(out), err_(err), draw_(draw), quiet_(quiet) {}
  void DocumentStarting(std::size_t position, std::size_t total) override {
    if (!draw_) return;
    err_ << "\r\033[K[" << position << "/" << total << "] releasing..." << std::flush;
  }
  void DocumentDone(const DocumentOutcome& d, std::size_t total) override {
    if (draw_) err_ << "\r\033[K" << std::flush;
    if (quiet_ && d.released) return;
    out_ << "  [" << d.position << "/" << total << "] " << PrintableText(d.label) << ": "
         << (d.released ? "released" : "NOT released") << "\n";
    for (const auto& m : d.messages) {
      std::string text = PrintableText(m), indented = "        ";
      for (char c : text) {
        if (c == '\r') continue;
        indented += c;
        if (c == '\n') indented += "        ";
      }
      out_ << indented << "\n";
    }
    if (!d.hostFailure.empty()) out_ << "        " << d.hostFailure << "\n";
    if (!d.released && d.messages.empty() && d.hostFailure.empty())
      out_ << "        (the connector sent no message; see the error log)\n";
    out_ << std::flush;
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool draw_, quiet_;
};

int Cli::ReleaseDocuments(const DocumentClass& c, const Batch& batch, std::size_t total, const DocumentFeed& feed,
                          bool quiet, ReleaseReport* result) {
  std::string error;
  if (!PrepareHome()) return kExitFailed;
  // The connector lives in this apartment for the whole batch.
  struct Apartment {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~Apartment() {
      if (SUCCEEDED(hr)) CoUninitialize();
    }
  } apartment;
  CComPtr<IKfxReleaseScript> script;
  if (FAILED(CreateReleaseScript(c.connectorProgId, &script, &error))) {
    err_ << "capture-host: " << error << "\n";
    return kExitFailed;
  }
  out_ << "Releasing " << total << " document" << (total == 1 ? "" : "s") << " of the class '" << U8(c.name)
       << "' from " << batch.file << "\n"
       << std::flush;
  LogFile errorLog = ErrorLog(), messageLog = MessageLog();
  Progress progress(out_, err_, env_.progress, quiet);
  ReleaseOptions options{&errorLog, &messageLog, &progress, false};
  ReleaseReport report;
  {
    BatchRelease release(c, batch, total, script, options);
    std::string readError;
    if (!feed(release, &readError)) release.ReadFailed(readError);
    report = release.Finish();
  }
  script.Release();
  CoFreeUnusedLibraries();  // the connector's module goes once nothing of it is in use

  if (!report.openFailure.empty()) err_ << "capture-host: the connector did not start: " << report.openFailure << "\n";
  if (!report.closeFailure.empty()) err_ << "capture-host: the connector did not close: " << report.closeFailure << "\n";
  if (!report.readFailure.empty()) err_ << "capture-host: " << report.readFailure << "\n";
  if (!report.logWriteFailure.empty()) err_ << "capture-host: " << report.logWriteFailure << "\n";
  std::size_t released = report.Released();
  out_ << "Released " << released << " of " << total << " document" << (total == 1 ? "" : "s");
  if (released < total) out_ << "; " << total - released << " not released";
  out_ << ". Error log: " << errorLog.Path() << "\n";
  bool all = report.AllReleased();
  if (result) *result = std::move(report);
  return all ? kExitOk : kExitFailed;
}

int Cli::Setup(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{"setup"}, {}}, 1, 1);
  DocumentClass c;
  int status = kExitOk;
  if (!LoadClass(p.positional[0], c, status)) return status;
  const std::u16string progId = p.Has("setup") ? U16(p.Value("setup")) : std::u16string(kDefaultSetupProgId);
  ClassStore* store = Store();
  std::string message;
  SetupOutcome outcome = RunClassSetup(
      c, progId, [store](const DocumentClass& edited, std::string* error) { return store->Save(edited, error); },
      &message);
  switch (outcome) {
    case SetupOutcome::Applied:
    case SetupOutcome::NothingChanged:
      out_ << message << "\n";
      return kExitOk;
    case SetupOutcome::NoDisplay:
      err_ << "capture-host: " << message << "\n";
      return kExitBadInput;
    case SetupOutcome::ScriptUnavailable:
    case SetupOutcome::Failed:
      break;
  }
  err_ << "capture-host: " << message << "\n";
  return kExitFailed;
}

int Cli::Release(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{"class"}, {"quiet"}}, 1, 1);
  // The batch is read document by document: a batch of any length is released with the memory of one document.
  BatchReader reader;
  std::string error;
  if (!reader.Open(p.positional[0], &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitBadInput;
  }
  std::string className = p.Has("class") ? p.Value("class") : U8(reader.Header().documentClass);
  DocumentClass c;
  int status = kExitOk;
  if (!LoadClass(className, c, status)) return status;
  if (!reader.CheckAgainstClass(c, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitBadInput;
  }
  return ReleaseDocuments(
      c, reader.Header(), reader.DocumentCount(),
      [&](BatchRelease& release, std::string* readError) {
        return reader.ForEachDocument([&](std::size_t, const BatchDocument& d) { release.Release(d); }, readError);
      },
      p.Has("quiet"));
}

int Cli::Log(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{}, {"messages", "clear"}}, 0, 0);
  std::vector<LogFile> files;
  if (p.Has("messages")) files.push_back(MessageLog());
  else files.push_back(ErrorLog());
  std::string error;
  if (p.Has("clear")) {
    for (const LogFile& f : {ErrorLog(), MessageLog()})
      if (!f.Clear(&error)) {
        err_ << "capture-host: " << error << "\n";
        return kExitFailed;
      }
    out_ << "Cleared the error log and the release messages\n";
    return kExitOk;
  }
  std::string text;
  if (!files[0].Read(text, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitFailed;
  }
  if (text.empty()) out_ << files[0].Path() << " is empty\n";
  out_ << text;
  return kExitOk;
}

int Cli::EcmInit(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{"server", "library"}, {}}, 0, 0);
  if (!p.Has("server") || !p.Has("library")) throw UsageError{"ecm-init needs --server DIR and --library LIB"};
  std::string message;
  switch (CreateSqliteLibrary(ServerFolder(p.Value("server")), p.Value("library"), &message)) {
    case CreateLibraryResult::Created: out_ << "Created: " << message << "\n"; return kExitOk;
    case CreateLibraryResult::AlreadyExists: err_ << "capture-host: not created: " << message << "\n"; return kExitFailed;
    case CreateLibraryResult::InvalidName: err_ << "capture-host: " << message << "\n"; return kExitBadInput;
    case CreateLibraryResult::Failed: break;
  }
  err_ << "capture-host: " << message << "\n";
  return kExitFailed;
}

int Cli::ShowLibrary(const std::string& server, const std::string& library) {
  if (!IsValidLibraryName(library)) {
    err_ << "capture-host: '" << library << "' is not a valid library name\n";
    return kExitBadInput;
  }
  const std::string path = SqliteLibraryPath(ServerFolder(server), library);
  if (!fs::exists(path)) {
    err_ << "capture-host: there is no library " << library << " at " << path << " (create it with ecm-init)\n";
    return kExitFailed;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    err_ << "capture-host: cannot open " << path << ": " << (db ? sqlite3_errmsg(db) : "out of memory") << "\n";
    sqlite3_close(db);
    return kExitFailed;
  }
  sqlite3_busy_timeout(db, 10000);
  int status = kExitOk;
  out_ << "Library " << library << " (" << path << ")\n";
  for (LONG t = ECM_TPEC; t <= ECM_TBLB; ++t) {
    const std::string table = U8(EcmTableName(t));
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, ("SELECT * FROM " + table + " ORDER BY rowid").c_str(), -1, &stmt, nullptr) !=
        SQLITE_OK) {
      err_ << "capture-host: " << table << ": " << sqlite3_errmsg(db) << "\n";
      status = kExitFailed;
      continue;
    }
    std::vector<std::string> rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::string row;
      for (int col = 0; col < sqlite3_column_count(stmt); ++col) {
        if (sqlite3_column_type(stmt, col) == SQLITE_NULL) continue;
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        if (!text || !*text) continue;
        row += std::string(row.empty() ? "" : " ") + sqlite3_column_name(stmt, col) + "=" + text;
      }
      rows.push_back(row);
    }
    if (rc != SQLITE_DONE) {
      err_ << "capture-host: " << table << ": " << sqlite3_errmsg(db) << "\n";
      status = kExitFailed;
    }
    sqlite3_finalize(stmt);
    out_ << table << ": " << rows.size() << " row" << (rows.size() == 1 ? "" : "s") << "\n";
    for (std::size_t i = 0; i < rows.size(); ++i) out_ << "  " << i + 1 << ": " << rows[i] << "\n";
  }
  sqlite3_close(db);
  return status;
}

int Cli::EcmShow(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{"server", "library", "class"}, {}}, 0, 0);
  std::string server = p.Value("server"), library = p.Value("library");
  if (p.Has("class")) {
    DocumentClass c;
    int status = kExitOk;
    if (!LoadClass(p.Value("class"), c, status)) return status;
    if (!p.Has("server")) server = U8(c.serverName);
    if (!p.Has("library"))
      for (const auto& prop : c.customProperties)
        if (prop.name == kLibraryProperty) library = U8(prop.value);
  }
  if (server.empty() || library.empty())
    throw UsageError{"ecm-show needs --server DIR and --library LIB, or a --class that names them"};
  return ShowLibrary(server, library);
}

int Cli::Demo(const std::vector<std::string>& args) {
  Parsed p = Parse(args, first_, {{"examples"}, {}}, 0, 0);
  const fs::path examples = p.Has("examples") ? fs::path(p.Value("examples")) : fs::path(env_.examplesDirectory);
  const fs::path classFile = examples / "invoice-class.json", batchFile = examples / "invoice-batch.json";
  DocumentClass c;
  Batch batch;
  std::string error;
  if (!ReadClassFile(classFile.string(), c, &error) || !ReadBatchFile(batchFile.string(), batch, &error)) {
    err_ << "capture-host: " << error << "\n";
    return kExitBadInput;
  }
  // The demo keeps everything of its own in one folder of the home, made afresh each time.
  home_ = home_ / "demo";
  const fs::path ecm = home_ / "ecm", scans = home_ / "scans";
  const std::string library = "DEMOLIB";
  std::error_code ec;
  for (const char* name : {"classes.db", "classes.db-wal", "classes.db-shm", "error.log", "messages.log"})
    fs::remove(home_ / name, ec);
  for (const char* suffix : {".db", ".db-wal", ".db-shm"}) fs::remove(ecm / (library + suffix), ec);
  fs::remove_all(scans, ec);
  if (!PrepareHome()) return kExitFailed;

  out_ << "== 1. An embedded ECM library\n";
  std::string message;
  if (CreateSqliteLibrary(ecm.string(), library, &message) != CreateLibraryResult::Created) {
    err_ << "capture-host: " << message << "\n";
    return kExitFailed;
  }
  out_ << message << "\n\n";

  out_ << "== 2. The document class '" << U8(c.name) << "' from " << classFile.string() << "\n";
  c.serverName = U16("sqlite:" + ecm.string());
  bool hasLibrary = false;
  for (auto& prop : c.customProperties)
    if (prop.name == kLibraryProperty) {
      prop.value = U16(library);
      hasLibrary = true;
    }
  if (!hasLibrary) c.customProperties.push_back({kLibraryProperty, U16(library)});
  ClassStore* store = Store();
  if (!store || !store->Save(c, &error)) {
    if (store) err_ << "capture-host: " << error << "\n";
    return kExitFailed;
  }
  out_ << c.indexFields.size() << " index fields, " << c.links.size() << " links; server " << U8(c.serverName)
       << ", library " << library << "\n\n";

  // The original files the batch names, so the connector can find them.
  fs::create_directories(scans, ec);
  batch.batchFields[u"OriginalFolder"] = U16(scans.string());
  const std::u16string ext = batch.batchFields.count(u"OriginalFileNameExt") ? batch.batchFields[u"OriginalFileNameExt"] : u"";
  for (const BatchDocument& d : batch.documents) {
    if (d.originalFileName.empty()) continue;
    fs::path file = scans / fs::path(U8(d.originalFileName)).filename();
    if (!ext.empty()) file.replace_extension(U8(ext[0] == u'.' ? ext : u"." + ext));
    std::ofstream(file) << "";
  }

  out_ << "== 3. Release of " << batchFile.string() << "\n";
  ReleaseReport report;
  int status = kExitBadInput;
  if (!CheckBatchAgainstClass(batch, c, &error)) {
    err_ << "capture-host: " << error << "\n";
  } else {
    status = ReleaseDocuments(
        c, batch, batch.documents.size(),
        [&](BatchRelease& release, std::string*) {
          for (const BatchDocument& d : batch.documents) release.Release(d);
          return true;
        },
        false, &report);
  }
  out_ << "\n== 4. The ECM tables now\n";
  ShowLibrary(U8(c.serverName), library);
  out_ << "\nEverything of the demo is in " << home_.string() << "\n";
  if (status == kExitBadInput) return status;
  // The sample batch has a document the database refuses: the demo has worked when the others got through.
  return report.Released() > 0 ? kExitOk : kExitFailed;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliEnvironment& environment) {
  Cli cli(environment);
  return cli.Run(args);
}

}  // namespace capture
