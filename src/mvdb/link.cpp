// The engine: the database contract and its administration over the storage layer.
#include "mvdb/link.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <unordered_map>

#include "components/errors.h"
#include "mvdb/dynarray.h"
#include "mvdb/engine.h"
#include "mvdb/query/parser.h"
#include "mvdb/query/plan_cache.h"
#include "mvdb/record.h"
#include "mvdb/server/server_storage.h"
#include "mvdb/storage.h"

namespace varnolde::mvdb {
namespace {

class Engine;

// The records a read group has met, by file and key, so that a record read again within the
// group, or read after a query selected it or a read-ahead brought it, costs the storage
// nothing; a record found absent is remembered absent. A group outside a transaction only: the
// start of a transaction and every write forget them all.
class SeenRecords final : public RowSink {
 public:
  using Entry = std::optional<std::string>;  // nullopt: absent
  void Clear() { records_.clear(); }
  // The entry of the record, or null when the group has not met it.
  const Entry* Find(std::string_view file, std::string_view key) {
    auto found = records_.find(Probe(file, key));
    return found == records_.end() ? nullptr : &found->second;
  }
  void Remember(std::string_view file, std::string_view key, Entry entry) {
    if (records_.size() < kCapacity) records_.insert_or_assign(Probe(file, key), std::move(entry));
  }
  // As a query's sink of selected records: remembers them as records of file.
  void SetFile(std::string_view file) { file_ = file; }
  void Row(std::string_view key, std::string_view text) override {
    Remember(file_, key, std::string(text));
  }

 private:
  // A clerk action meets a few dozen records; a large query's rows are not worth keeping.
  static constexpr std::size_t kCapacity = 256;
  const std::string& Probe(std::string_view file, std::string_view key) {
    probe_.assign(file);
    probe_.push_back(kAM);  // no file name holds a mark
    probe_.append(key);
    return probe_;
  }
  std::unordered_map<std::string, Entry> records_;
  std::string probe_;
  std::string file_;
};

class FileHandle : public DbFile {
 public:
  FileHandle(std::shared_ptr<Engine> engine, std::string name)
      : engine_(std::move(engine)), name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  std::shared_ptr<DbRecord> Read(std::string_view key) override;
  std::shared_ptr<DbRecord> ReadForUpdate(std::string_view key) override;

 private:
  std::shared_ptr<Engine> engine_;
  std::string name_;
};

class Engine final : public Database,
                     public RecordStore,
                     public std::enable_shared_from_this<Engine> {
 public:
  Engine(std::unique_ptr<Storage> storage, std::function<void(std::int64_t)> progress)
      : storage_(std::move(storage)), progress_(std::move(progress)) {}

  Storage& storage() { return *storage_; }

  // DatabaseLink.
  std::shared_ptr<DbFile> OpenFile(std::string_view name) override {
    storage_->DropCachesIfMarked();
    if (!Guarded([&] { return storage_->HasFile(name); })) {
      throw ComponentError(err::kUnknownFile, "fichier « " + std::string(name) + " » inconnu");
    }
    return std::make_shared<FileHandle>(shared_from_this(), std::string(name));
  }

  std::shared_ptr<DbSelectList> Select(std::string_view request_text, std::string_view,
                                       std::int32_t& count) override {
    std::string_view sentence = ExtractField(request_text, kAM, 1);
    std::string_view table = ExtractField(request_text, kAM, 2);
    std::string_view columns = ExtractField(request_text, kAM, 3);
    QueryResult result = Run(sentence, table, columns, PlanOptions{});
    count = result.rows;
    return std::make_shared<SelectList>(std::move(result.text), result.rows);
  }

  std::shared_ptr<DbRecord> NewRecord() override {
    return std::make_shared<TextRecord>("", "", nullptr, "");
  }

  void Begin() override {
    seen_.Clear();
    storage_->Begin();
  }
  void Commit() override { storage_->Commit(); }
  void Rollback() override { storage_->Rollback(); }
  void Savepoint(std::string_view name) override { storage_->Savepoint(name); }
  void ReleaseSavepoint(std::string_view name) override { storage_->ReleaseSavepoint(name); }
  void RollbackTo(std::string_view name) override { storage_->RollbackTo(name); }
  bool InTransaction() const override { return storage_->InTransaction(); }
  void Lock(std::string_view name) override { storage_->Lock(name); }
  void BeginReadGroup() override {
    ++read_groups_;
    storage_->BeginReadGroup();
  }
  void EndReadGroup() override {
    if (read_groups_ == 0) return;
    storage_->EndReadGroup();
    if (--read_groups_ == 0) seen_.Clear();
  }

  // The record a read group has already met (or found absent), or null.
  const SeenRecords::Entry* Seen(std::string_view file, std::string_view key) {
    return Grouping() ? seen_.Find(file, key) : nullptr;
  }
  void Saw(std::string_view file, std::string_view key, SeenRecords::Entry entry) {
    if (Grouping()) seen_.Remember(file, key, std::move(entry));
  }

  void ReadAhead(std::string_view file, const std::vector<std::string>& keys) override {
    const bool grouping = Grouping();
    if (!grouping && !storage_->InTransaction()) return;
    std::vector<std::string> wanted;
    for (const std::string& key : keys) {
      if (!key.empty() && (!grouping || seen_.Find(file, key) == nullptr) &&
          std::find(wanted.begin(), wanted.end(), key) == wanted.end()) {
        wanted.push_back(key);
      }
    }
    if (wanted.empty()) return;
    try {
      storage_->DropCachesIfMarked();
      if (!grouping) {
        // The storage keeps what it can for the transaction itself.
        struct : RowSink {
          void Row(std::string_view, std::string_view) override {}
        } ignored;
        storage_->ReadAhead(file, wanted, ignored);
        return;
      }
      seen_.SetFile(file);
      if (!storage_->ReadAhead(file, wanted, seen_)) return;
      for (const std::string& key : wanted) {
        if (seen_.Find(file, key) == nullptr) seen_.Remember(file, key, std::nullopt);
      }
    } catch (const ComponentError&) {
      // Each read will meet the failure itself.
    } catch (const StorageError&) {
    }
  }

  // Database.
  const std::string& Path() const override { return storage_->path(); }
  std::string ConnectedRole() const override { return storage_->ConnectedRole(); }
  bool CreateFile(std::string_view name) override {
    seen_.Clear();
    return storage_->CreateFile(name);
  }
  std::vector<std::string> FileNames() override {
    return Guarded([&] { return storage_->FileNames(); });
  }
  std::int64_t CreateIndex(std::string_view file, std::string_view field) override {
    seen_.Clear();
    return storage_->BuildIndex(file, field);
  }
  std::vector<std::string> IndexNames(std::string_view file) override {
    return Guarded([&] {
      storage_->DropStaleCachesAsOfNow();
      return storage_->IndexNames(file);
    });
  }
  std::string Explain(std::string_view sentence) override {
    SentenceAst ast = ParseSentence(sentence);
    Guarded([&] {
      storage_->DropStaleCachesAsOfNow();
      return 0;
    });
    return Retrying([&] {
      const Plan plan = BuildPlan(ast, sentence, "0", *storage_, PlanOptions{});
      std::string text = PlanText(plan);
      // What a server runs for each scan.
      for (const ScanStep& step : plan.steps) {
        const std::string statement = storage_->DescribeAccess(plan.file, step.access);
        if (!statement.empty()) text += "SERVER " + statement + "\n";
      }
      return text;
    });
  }
  bool WriteRecord(std::string_view file, std::string_view key, std::string_view text) override {
    bool created = false;
    seen_.Clear();
    storage_->WriteRecord(file, key, text, &created);
    CountForProgress();
    return created;
  }
  void DeleteRecord(std::string_view file, std::string_view key) override {
    seen_.Clear();
    storage_->DeleteRecord(file, key);
  }
  void ForEachRecord(
      std::string_view file,
      const std::function<void(std::string_view, std::string_view)>& visit) override {
    struct Visitor : RowSink {
      const std::function<void(std::string_view, std::string_view)>& visit;
      Engine& engine;
      Visitor(const std::function<void(std::string_view, std::string_view)>& v, Engine& e)
          : visit(v), engine(e) {}
      void Row(std::string_view key, std::string_view text) override {
        visit(key, text);
        engine.CountForProgress();
      }
    } visitor(visit, *this);
    storage_->DropCachesIfMarked();
    Guarded([&] {
      storage_->Scan(std::string(file), AccessPath{}, visitor);
      return 0;
    });
  }

  // RecordStore.
  void StoreRecord(std::string_view file, std::string_view key, std::string_view text) override {
    seen_.Clear();
    storage_->WriteRecord(file, key, text);
    CountForProgress();
  }
  void RemoveRecord(std::string_view file, std::string_view key) override {
    seen_.Clear();
    storage_->DeleteRecord(file, key);
  }

  QueryResult Run(std::string_view sentence, std::string_view table, std::string_view columns,
                  const PlanOptions& options) {
    RowSink* selected = Grouping() ? &seen_ : nullptr;
    auto run = [&] {
      const Plan& plan =
          plans_.Get(sentence, table, columns, *storage_, options, storage_->CatalogGeneration());
      if (selected != nullptr) seen_.SetFile(plan.file);
      return executor_.Run(plan, *storage_, selected);
    };
    QueryResult result = Retrying(run);
    // The read may have met a schema or dictionary newer than the plan's: then plan again.
    if (Guarded([&] { return storage_->DropCachesIfChanged(); })) result = Retrying(run);
    return result;
  }

 private:
  bool Grouping() const { return read_groups_ > 0 && !storage_->InTransaction(); }

  // Runs a read, turning a storage failure into kDatabaseOpen.
  template <class Read>
  auto Guarded(Read&& read) -> decltype(read()) {
    try {
      return read();
    } catch (const StorageError& e) {
      throw ComponentError(err::kDatabaseOpen,
                           "base « " + storage_->path() + " » : lecture impossible : " + e.what());
    }
  }

  // Runs a planned read; a failure that stale metadata may explain (an index dropped by
  // another program) is retried once with every cache dropped.
  template <class Read>
  auto Retrying(Read&& read) -> decltype(read()) {
    try {
      storage_->DropCachesIfMarked();
      return read();
    } catch (const StorageError&) {
      storage_->MarkCachesStale();
    }
    return Guarded([&] {
      storage_->DropStaleCachesAsOfNow();
      return read();
    });
  }

  void CountForProgress() {
    if (progress_ && ++progress_count_ % OpenOptions::kProgressStep == 0) progress_(progress_count_);
  }

  std::unique_ptr<Storage> storage_;
  std::function<void(std::int64_t)> progress_;
  std::int64_t progress_count_ = 0;
  PlanCache plans_;
  Executor executor_;
  int read_groups_ = 0;
  SeenRecords seen_;
};

std::shared_ptr<DbRecord> FileHandle::Read(std::string_view key) {
  engine_->storage().DropCachesIfMarked();
  std::string text;
  bool found = false;
  if (const SeenRecords::Entry* seen = engine_->Seen(name_, key)) {
    found = seen->has_value();
    if (found) text = **seen;
  } else {
    found = engine_->storage().ReadRecord(name_, key, text);
    engine_->Saw(name_, key, found ? SeenRecords::Entry(text) : std::nullopt);
  }
  if (!found) {
    throw ComponentError(err::kRecordNotFound, "enregistrement « " + std::string(key) +
                                                   " » absent du fichier « " + name_ + " »");
  }
  return std::make_shared<TextRecord>(std::string(key), std::move(text), engine_, name_);
}

std::shared_ptr<DbRecord> FileHandle::ReadForUpdate(std::string_view key) {
  engine_->storage().DropCachesIfMarked();
  std::string text;
  engine_->storage().ReadRecord(name_, key, text);
  return std::make_shared<TextRecord>(std::string(key), std::move(text), engine_, name_);
}

}  // namespace

std::shared_ptr<Database> OpenMvdb(const std::string& path, const OpenOptions& options) {
  return std::make_shared<Engine>(Storage::Open(path, options), options.progress);
}

std::shared_ptr<DatabaseLink> OpenDatabase(const std::string& path, const OpenOptions& options) {
  return OpenMvdb(path, options);
}

namespace {

namespace fs = std::filesystem;

constexpr const char* kCreationMark = ".creation-";

void RemoveWithCompanions(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path + suffix, ignored);
}

// Removes the temporary files of earlier creations of path whose process has ended.
void RemoveAbandonedCreations(const fs::path& path) {
  const std::string prefix = path.filename().string() + kCreationMark;
  std::error_code error;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::size_t digits = name.find_first_not_of("0123456789", prefix.size());
    const std::string pid = name.substr(prefix.size(), digits - prefix.size());
    if (pid.empty() || pid.size() > 9) continue;
    if (::kill(static_cast<pid_t>(std::stol(pid)), 0) == 0 || errno != ESRCH) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

}  // namespace

void CreateDatabase(const std::string& path, const std::function<void(Database&)>& fill,
                    const OpenOptions& options) {
  OpenOptions create = options;
  create.create = true;
  if (IsServerName(path)) {
    // A server's database is made by its administrator; its layout is made here when it holds
    // none, and what fill writes is one transaction of its own.
    std::shared_ptr<Database> database = OpenMvdb(path, create);
    if (!database->FileNames().empty()) {
      throw ComponentError(err::kDatabaseOpen, database->Path() + " : la base contient déjà des fichiers");
    }
    return fill(*database);
  }
  auto fail = [&](const std::string& cause) {
    return ComponentError(err::kDatabaseOpen, "base « " + path + " » : " + cause);
  };
  std::error_code error;
  if (fs::exists(path, error)) throw fail("le fichier existe déjà");
  const fs::path folder = fs::path(path).has_parent_path() ? fs::path(path).parent_path() : ".";
  if (!fs::is_directory(folder, error)) {
    throw fail("dossier « " + folder.string() + " » introuvable");
  }
  if (::access(folder.c_str(), W_OK) != 0) {
    throw fail("création impossible dans le dossier « " + folder.string() + " » (" +
               SystemCause(errno) + ")");
  }
  RemoveAbandonedCreations(path);
  const std::string temporary = path + kCreationMark + std::to_string(::getpid());
  RemoveWithCompanions(temporary);
  try {
    {
      std::shared_ptr<Database> database = OpenMvdb(temporary, create);
      fill(*database);
    }  // closing folds the write-ahead log into the file
    for (const char* suffix : {"-wal", "-shm", "-journal"}) fs::remove(path + suffix, error);
    if (fs::exists(temporary + "-wal", error)) {
      // Should a log remain, it goes along with the file it belongs to.
      fs::rename(temporary + "-wal", path + "-wal", error);
      if (error) throw fail("renommage du journal impossible (" + SystemCause(error.value()) + ")");
    }
    fs::remove(temporary + "-shm", error);
    fs::rename(temporary, path, error);
    if (error) throw fail("renommage impossible (" + SystemCause(error.value()) + ")");
  } catch (...) {
    RemoveWithCompanions(temporary);
    throw;
  }
}

QueryResult RunQuery(Database& database, std::string_view sentence, std::string_view columns,
                     const PlanOptions& options) {
  auto* engine = dynamic_cast<Engine*>(&database);
  if (engine == nullptr) throw ComponentError(err::kBadQuery, "base qui n'est pas une base mvdb");
  return engine->Run(sentence, "", columns, options);
}

}  // namespace varnolde::mvdb
