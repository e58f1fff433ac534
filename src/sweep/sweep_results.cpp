// Collecting the experiments' outcomes and writing the results database and sweep.csv.
#include "sweep/sweep_results.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "core/failure.h"
#include "core/output_file.h"
#include "registry/registry.h"
#include "sweep/sweep_page.h"

namespace Valdrin {

namespace fs = std::filesystem;

int CsvTable::column(const std::string& name) const {
    const auto found = std::find(header.begin(), header.end(), name);
    return found == header.end() ? -1 : static_cast<int>(found - header.begin());
}

namespace {

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

// The last lines of a file that hold more than blanks, at most count of them, from its last 64 KB.
std::vector<std::string> lastLines(const std::string& path, int count) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - 65536);
    in.seekg(from);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (line.find_first_not_of(" \t\r") != std::string::npos) lines.push_back(line);
    }
    if (static_cast<int>(lines.size()) > count) lines.erase(lines.begin(), lines.end() - count);
    return lines;
}

// --- SQLite ---

class Database {
public:
    explicit Database(const std::string& path) : path_(path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            fail("cannot be opened");
        }
    }
    ~Database() {
        for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
        sqlite3_close(db_);
    }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message != nullptr ? message : "unknown error";
            sqlite3_free(message);
            failPlainly("cannot write " + path_ + ": " + text);
        }
    }

    sqlite3_stmt* prepared(const std::string& sql) {
        sqlite3_stmt*& statement = statements_[sql];
        if (statement == nullptr && sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            fail("cannot prepare " + sql);
        }
        return statement;
    }

    void step(sqlite3_stmt* statement) {
        if (sqlite3_step(statement) != SQLITE_DONE) fail("cannot store a row");
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }

    [[noreturn]] void fail(const std::string& what) {
        failPlainly("cannot write " + path_ + ": " + what + " (" + (db_ != nullptr ? sqlite3_errmsg(db_) : "no memory") + ")");
    }

private:
    std::string path_;
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> statements_;
};

std::string quotedName(const std::string& name) {
    std::string text = "\"";
    for (char c : name) text += c == '"' ? std::string("\"\"") : std::string(1, c);
    return text + "\"";
}

bool isWholeNumber(const std::string& text) {
    const std::size_t digits = text.starts_with('-') ? 1 : 0;
    return text.size() > digits && text.size() - digits <= 18 &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(digits), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Binds a results cell: empty and nan as NULL, whole numbers as integers, other numbers as reals,
// anything else as text.
void bindCell(sqlite3_stmt* statement, int place, const std::string& text) {
    if (text.empty()) {
        sqlite3_bind_null(statement, place);
        return;
    }
    if (isWholeNumber(text)) {
        sqlite3_bind_int64(statement, place, std::strtoll(text.c_str(), nullptr, 10));
        return;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && *end == '\0') {
        if (std::isnan(value)) {
            sqlite3_bind_null(statement, place);
        } else {
            sqlite3_bind_double(statement, place, value);
        }
        return;
    }
    sqlite3_bind_text(statement, place, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// The columns of runs.csv and generations.csv that hold counts.
bool isCountColumn(const std::string& name) {
    static const std::set<std::string> counts = {"run", "generation", "generations", "evaluations", "population_size",
                                                 "solved", "generations_to_solution", "evaluations_to_solution",
                                                 "convergence_generation", "network_nodes", "best_so_far_generation",
                                                 "best_so_far_evaluations", "runs_asked"};
    return counts.contains(name);
}

std::string keyColumnType(const std::string& key) {
    const KeyRow* row = findKey(key);
    if (row == nullptr) return "TEXT";
    switch (row->kind) {
        case KeyKind::Integer:
        case KeyKind::Seed: return "INTEGER";
        case KeyKind::Real: return "REAL";
        case KeyKind::Word:
        case KeyKind::Flag:
        case KeyKind::Text: return "TEXT";
    }
    return "TEXT";
}

// The header of a results file of an experiment that ran; empty when it has none.
std::vector<std::string> headerOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) return {};
    return fieldsOf(line);
}

// The union of the headers, in the order first seen.
std::vector<std::string> columnsOf(const SweepRecord& record, const std::string& file) {
    std::vector<std::string> columns;
    for (std::size_t i = 0; i < record.experiments.size(); ++i) {
        if (record.outcomes[i].state != ExperimentOutcome::State::Ran) continue;
        for (const std::string& name : headerOf((fs::path(record.folder) / record.experiments[i].folder / file).string())) {
            if (std::find(columns.begin(), columns.end(), name) == columns.end()) columns.push_back(name);
        }
    }
    return columns;
}

void createResultsTable(Database& db, const std::string& table, const std::vector<std::string>& columns) {
    std::string sql = "CREATE TABLE " + table + " (experiment_id INTEGER NOT NULL REFERENCES experiments(id)";
    for (const std::string& column : columns) {
        sql += ", " + quotedName(column) + (isCountColumn(column) ? " INTEGER" : " REAL");
    }
    db.execute(sql + ")");
}

// The rows of one experiment's results file into the table.
void storeResults(Database& db, const std::string& table, const std::vector<std::string>& columns, int experiment,
                  const CsvTable& data) {
    std::string sql = "INSERT INTO " + table + " (experiment_id";
    std::string places = "?";
    for (const std::string& column : columns) {
        sql += ", " + quotedName(column);
        places += ", ?";
    }
    sqlite3_stmt* statement = db.prepared(sql + ") VALUES (" + places + ")");
    std::vector<int> from;
    for (const std::string& column : columns) from.push_back(data.column(column));
    for (const std::vector<std::string>& row : data.rows) {
        sqlite3_bind_int(statement, 1, experiment);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (from[c] < 0) {
                sqlite3_bind_null(statement, static_cast<int>(c) + 2);
            } else {
                bindCell(statement, static_cast<int>(c) + 2, row[static_cast<std::size_t>(from[c])]);
            }
        }
        db.step(statement);
    }
}

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string field = "\"";
    for (char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
    return field + "\"";
}

// A figure as the database keeps it: NaN as NULL, infinite values as they are.
void bindFigure(sqlite3_stmt* statement, int place, double value) {
    if (std::isnan(value)) {
        sqlite3_bind_null(statement, place);
    } else {
        sqlite3_bind_double(statement, place, value);
    }
}

// The tables of the combinations and of their comparisons.
void storeCombinations(Database& db, const SweepRecord& record, const std::vector<CombinationSummary>& combinations) {
    std::string table = "CREATE TABLE combinations (id INTEGER PRIMARY KEY";
    std::string insert = "INSERT INTO combinations (id";
    std::string places = "?";
    for (const SweptKey& swept : record.keys) {
        const std::string column = quotedName(columnName(swept.key));
        table += ", " + column + " " + keyColumnType(swept.key);
        insert += ", " + column;
        places += ", ?";
    }
    const std::string figures = "experiments, experiments_ran, runs, solved, success_rate, success_rate_low, "
                                "success_rate_high, ert, ert_low, ert_high, median_best_found, median_best_found_low, "
                                "median_best_found_high";
    db.execute(table + ", experiments INTEGER NOT NULL, experiments_ran INTEGER NOT NULL, runs INTEGER NOT NULL, "
                       "solved INTEGER NOT NULL, success_rate REAL, success_rate_low REAL, success_rate_high REAL, "
                       "ert REAL, ert_low REAL, ert_high REAL, median_best_found REAL, median_best_found_low REAL, "
                       "median_best_found_high REAL)");
    sqlite3_stmt* row = db.prepared(insert + ", " + figures + ") VALUES (" + places + ", ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (std::size_t c = 0; c < combinations.size(); ++c) {
        const CombinationSummary& combination = combinations[c];
        const bool anyRun = combination.runs > 0;
        const double none = std::numeric_limits<double>::quiet_NaN();
        int place = 1;
        sqlite3_bind_int(row, place++, static_cast<int>(c) + 1);
        for (const std::string& value : combination.values) bindCell(row, place++, value);
        sqlite3_bind_int(row, place++, combination.experiments);
        sqlite3_bind_int(row, place++, combination.ran);
        sqlite3_bind_int(row, place++, combination.runs);
        sqlite3_bind_int(row, place++, combination.solved);
        bindFigure(row, place++, anyRun ? static_cast<double>(combination.solved) / combination.runs : none);
        bindFigure(row, place++, anyRun ? combination.successInterval.low : none);
        bindFigure(row, place++, anyRun ? combination.successInterval.high : none);
        bindFigure(row, place++, anyRun ? combination.expectedRunningTime : none);
        bindFigure(row, place++, combination.ertInterval.low);
        bindFigure(row, place++, combination.ertInterval.high);
        bindFigure(row, place++, anyRun ? combination.medianBestSoFar : none);
        bindFigure(row, place++, combination.bestFoundInterval.low);
        bindFigure(row, place++, combination.bestFoundInterval.high);
        db.step(row);
    }

    db.execute("CREATE TABLE comparisons (measure TEXT NOT NULL, combination_a INTEGER NOT NULL REFERENCES "
               "combinations(id), combination_b INTEGER NOT NULL REFERENCES combinations(id), n_a INTEGER NOT NULL, "
               "n_b INTEGER NOT NULL, u REAL NOT NULL, p_value REAL NOT NULL, p_holm REAL NOT NULL, a12 REAL NOT NULL)");
    db.execute("CREATE TABLE omnibus (measure TEXT PRIMARY KEY, h REAL NOT NULL, p_value REAL NOT NULL)");
    const CombinationComparisons compared = compareCombinations(combinations);
    const std::pair<const char*, const SampleComparisons*> measures[] = {
        {"best_found", &compared.bestFound}, {"evaluations_to_solution", &compared.evaluationsToSolution}};
    sqlite3_stmt* pair = db.prepared("INSERT INTO comparisons (measure, combination_a, combination_b, n_a, n_b, u, "
                                     "p_value, p_holm, a12) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    sqlite3_stmt* omnibus = db.prepared("INSERT INTO omnibus (measure, h, p_value) VALUES (?, ?, ?)");
    for (const auto& [measure, set] : measures) {
        for (const PairComparison& compared : set->pairs) {
            sqlite3_bind_text(pair, 1, measure, -1, SQLITE_STATIC);
            sqlite3_bind_int(pair, 2, compared.a + 1);
            sqlite3_bind_int(pair, 3, compared.b + 1);
            sqlite3_bind_int(pair, 4, compared.na);
            sqlite3_bind_int(pair, 5, compared.nb);
            sqlite3_bind_double(pair, 6, compared.u);
            sqlite3_bind_double(pair, 7, compared.pValue);
            sqlite3_bind_double(pair, 8, compared.pHolm);
            sqlite3_bind_double(pair, 9, compared.a12);
            db.step(pair);
        }
        if (!set->omnibus) continue;
        sqlite3_bind_text(omnibus, 1, measure, -1, SQLITE_STATIC);
        sqlite3_bind_double(omnibus, 2, set->h);
        sqlite3_bind_double(omnibus, 3, set->omnibusP);
        db.step(omnibus);
    }

    if (record.blocks.empty()) return;
    const BlockComparison across = compareAcrossBlocks(record, combinations);
    db.execute("CREATE TABLE friedman (measure TEXT NOT NULL, block_key TEXT NOT NULL, blocks INTEGER NOT NULL, "
               "treatments INTEGER NOT NULL, chi_square REAL NOT NULL, p_value REAL NOT NULL)");
    db.execute("CREATE TABLE mean_ranks (treatment TEXT NOT NULL, mean_rank REAL NOT NULL)");
    if (!across.tested) return;
    sqlite3_stmt* test = db.prepared("INSERT INTO friedman (measure, block_key, blocks, treatments, chi_square, p_value) "
                                     "VALUES ('best_found', ?, ?, ?, ?, ?)");
    sqlite3_bind_text(test, 1, record.blocks.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(test, 2, static_cast<int>(across.blocks.size()));
    sqlite3_bind_int(test, 3, static_cast<int>(across.treatments.size()));
    sqlite3_bind_double(test, 4, across.friedman.chiSquare);
    sqlite3_bind_double(test, 5, across.friedman.pValue);
    db.step(test);
    sqlite3_stmt* rank = db.prepared("INSERT INTO mean_ranks (treatment, mean_rank) VALUES (?, ?)");
    for (std::size_t t = 0; t < across.treatments.size(); ++t) {
        sqlite3_bind_text(rank, 1, across.treatments[t].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(rank, 2, across.friedman.meanRanks[t]);
        db.step(rank);
    }
}

// The combination's figures as sweep.csv writes them after each of its rows.
std::string combinationFields(std::size_t place, const CombinationSummary& combination) {
    const bool anyRun = combination.runs > 0;
    const double none = std::numeric_limits<double>::quiet_NaN();
    std::string text(",");
    text.append(std::to_string(place + 1)).append(",").append(std::to_string(combination.runs));
    for (double value : {anyRun ? static_cast<double>(combination.solved) / combination.runs : none,
                         anyRun ? combination.successInterval.low : none, anyRun ? combination.successInterval.high : none,
                         anyRun ? combination.expectedRunningTime : none, combination.ertInterval.low,
                         combination.ertInterval.high, anyRun ? combination.medianBestSoFar : none,
                         combination.bestFoundInterval.low, combination.bestFoundInterval.high}) {
        // As the other CSV files write numbers: the shortest text that reads back the same; empty for
        // a figure there is not.
        char digits[32];
        const auto written = std::to_chars(digits, digits + sizeof digits, value);
        text.append(",");
        if (!std::isnan(value)) text.append(digits, written.ptr);
    }
    return text;
}

}  // namespace

std::optional<CsvTable> readCsv(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line) || line.empty()) return std::nullopt;
    CsvTable table;
    table.header = fieldsOf(line);
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> row = fieldsOf(line);
        row.resize(table.header.size());
        table.rows.push_back(std::move(row));
    }
    return table;
}

std::vector<ExperimentOutcome> collectOutcomes(const std::string& sweepFolder, const std::vector<Experiment>& experiments,
                                               const std::vector<JobRecord>& log) {
    const std::vector<std::optional<JobRecord>> jobs = jobOutcomes(log, static_cast<int>(experiments.size()));
    std::vector<ExperimentOutcome> outcomes(experiments.size());
    for (std::size_t i = 0; i < experiments.size(); ++i) {
        ExperimentOutcome& outcome = outcomes[i];
        outcome.job = jobs[i];
        if (!outcome.job) continue;
        const fs::path folder = fs::path(sweepFolder) / experiments[i].folder;
        if (outcome.job->succeeded()) {
            std::optional<CsvTable> runs = readCsv((folder / "runs.csv").string());
            if (runs && fs::exists(folder / "generations.csv")) {
                outcome.state = ExperimentOutcome::State::Ran;
                outcome.runs = std::move(*runs);
                continue;
            }
            outcome.reason = "it ended with status 0 but its runs.csv and generations.csv are not in its folder";
        } else if (outcome.job->signal != 0) {
            outcome.reason = "it was ended by signal " + std::to_string(outcome.job->signal);
        } else {
            outcome.reason = "exit status " + std::to_string(outcome.job->exitValue);
        }
        outcome.state = ExperimentOutcome::State::Failed;
        outcome.errorTail = lastLines((folder / "stderr.txt").string(), kErrorTailLines);
    }
    return outcomes;
}

void writeResultsDatabase(const SweepRecord& record, const std::string& path) {
    writeResultsDatabase(record, summarizeCombinations(record), path);
}

void writeResultsDatabase(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                          const std::string& path) {
    const std::string temporary = path + ".part";
    std::error_code ignored;
    fs::remove(temporary, ignored);
    {
        Database db(temporary);
        db.execute("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
        db.execute("CREATE TABLE swept_keys (position INTEGER PRIMARY KEY, key TEXT NOT NULL, column_name TEXT NOT NULL)");
        std::string experimentsTable = "CREATE TABLE experiments (id INTEGER PRIMARY KEY, folder TEXT NOT NULL";
        std::string insert = "INSERT INTO experiments (id, folder";
        std::string places = "?, ?";
        for (std::size_t k = 0; k < record.keys.size(); ++k) {
            const std::string column = quotedName(columnName(record.keys[k].key));
            experimentsTable += ", " + column + " " + keyColumnType(record.keys[k].key);
            insert += ", " + column;
            places += ", ?";
            sqlite3_stmt* key = db.prepared("INSERT INTO swept_keys (position, key, column_name) VALUES (?, ?, ?)");
            sqlite3_bind_int(key, 1, static_cast<int>(k) + 1);
            sqlite3_bind_text(key, 2, record.keys[k].key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(key, 3, columnName(record.keys[k].key).c_str(), -1, SQLITE_TRANSIENT);
            db.step(key);
        }
        db.execute(experimentsTable + ", seed INTEGER NOT NULL, exit_status INTEGER, host TEXT, duration_s REAL)");
        sqlite3_stmt* experiment =
            db.prepared(insert + ", seed, exit_status, host, duration_s) VALUES (" + places + ", ?, ?, ?, ?)");

        const std::vector<std::string> runColumns = columnsOf(record, "runs.csv");
        const std::vector<std::string> generationColumns = columnsOf(record, "generations.csv");
        createResultsTable(db, "runs", runColumns);
        createResultsTable(db, "generations", generationColumns);

        for (std::size_t i = 0; i < record.experiments.size(); ++i) {
            const Experiment& planned = record.experiments[i];
            const ExperimentOutcome& outcome = record.outcomes[i];
            int place = 1;
            sqlite3_bind_int(experiment, place++, planned.id);
            sqlite3_bind_text(experiment, place++, planned.folder.c_str(), -1, SQLITE_TRANSIENT);
            for (const std::string& value : planned.values) bindCell(experiment, place++, value);
            sqlite3_bind_int(experiment, place++, planned.seed);
            if (outcome.job) {
                sqlite3_bind_int(experiment, place++, outcome.job->status());
                sqlite3_bind_text(experiment, place++, hostName(outcome.job->host).c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(experiment, place++, outcome.job->runtime);
            }
            db.step(experiment);
            if (outcome.state != ExperimentOutcome::State::Ran) continue;
            storeResults(db, "runs", runColumns, planned.id, outcome.runs);
            const fs::path generations = fs::path(record.folder) / planned.folder / "generations.csv";
            if (const std::optional<CsvTable> table = readCsv(generations.string())) {
                storeResults(db, "generations", generationColumns, planned.id, *table);
            }
        }
        storeCombinations(db, record, combinations);
        db.execute("CREATE INDEX runs_by_experiment ON runs (experiment_id); "
                   "CREATE INDEX generations_by_experiment ON generations (experiment_id); COMMIT");
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) failPlainly(cannotWrite(path, error.value()));
}

void writeSweepCsv(const SweepRecord& record, const std::string& path) {
    writeSweepCsv(record, summarizeCombinations(record), path);
}

void writeSweepCsv(const SweepRecord& record, const std::vector<CombinationSummary>& combinations,
                   const std::string& path) {
    std::vector<std::string> runColumns;
    for (const ExperimentOutcome& outcome : record.outcomes) {
        for (const std::string& name : outcome.runs.header) {
            if (std::find(runColumns.begin(), runColumns.end(), name) == runColumns.end()) runColumns.push_back(name);
        }
    }
    AtomicOutputFile out(path);
    out << "experiment";
    for (const SweptKey& swept : record.keys) out << "," << csvField(columnName(swept.key));
    out << ",seed,exit_status";
    for (const std::string& name : runColumns) out << "," << csvField(name);
    out << ",combination,combination_runs,combination_success_rate,combination_success_rate_low,"
           "combination_success_rate_high,combination_ert,combination_ert_low,combination_ert_high,"
           "combination_median_best_found,combination_median_best_found_low,combination_median_best_found_high\n";
    for (std::size_t i = 0; i < record.experiments.size(); ++i) {
        const Experiment& planned = record.experiments[i];
        const ExperimentOutcome& outcome = record.outcomes[i];
        const std::size_t combination = static_cast<std::size_t>(planned.combination);
        const std::string trail = combinationFields(combination, combinations[combination]);
        std::string lead = std::to_string(planned.id);
        for (const std::string& value : planned.values) lead.append(",").append(csvField(value));
        lead.append(",").append(std::to_string(planned.seed)).append(",");
        if (outcome.job) lead.append(std::to_string(outcome.job->status()));
        if (outcome.state != ExperimentOutcome::State::Ran || outcome.runs.rows.empty()) {
            out << lead << std::string(runColumns.size(), ',') << trail << "\n";
            continue;
        }
        std::vector<int> from;
        for (const std::string& name : runColumns) from.push_back(outcome.runs.column(name));
        for (const std::vector<std::string>& row : outcome.runs.rows) {
            out << lead;
            for (int place : from) out << "," << (place < 0 ? std::string() : csvField(row[static_cast<std::size_t>(place)]));
            out << trail << "\n";
        }
    }
    out.commit();
}

}  // namespace Valdrin
