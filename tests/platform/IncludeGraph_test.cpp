// The library's #include lines point one way: tools -> cells -> utils -> platform,
// and inside platform/ no module reaches itself again through other modules. A
// module is a header with its source and private header ("Printer.h",
// "Printer.cpp", "Printer_p.h"); a source without a header is a module of its own.
#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace mivora {
namespace {

namespace fs = std::filesystem;

const fs::path SourceDir = MIVORA_SOURCE_DIR;
const std::vector<std::string> Layers = {"platform", "utils", "cells"};

// The file names a source file includes with quotes.
std::vector<std::string> QuotedIncludes(const fs::path& File) {
  static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
  std::vector<std::string> names;
  std::ifstream in(File);
  std::string line;
  std::smatch match;
  while (std::getline(in, line))
    if (std::regex_search(line, match, include)) names.push_back(match[1]);
  return names;
}

std::vector<fs::path> SourcesOf(const std::string& Folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(SourceDir / Folder)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".h" || ext == ".cpp") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string ModuleOf(const fs::path& File) {
  std::string stem = File.stem().string();
  if (stem.size() > 2 && stem.ends_with("_p")) stem.resize(stem.size() - 2);
  return stem;
}

// The folder (among the library's layers) that holds Name, or "" when none does.
std::string LayerHolding(const std::string& Name) {
  for (const std::string& layer : Layers)
    if (fs::exists(SourceDir / layer / Name)) return layer;
  return "";
}

using TGraph = std::map<std::string, std::set<std::string>>;

// Module -> modules of the same folder that its files include.
TGraph ModuleGraph(const std::string& Folder) {
  TGraph graph;
  for (const fs::path& file : SourcesOf(Folder)) {
    const std::string from = ModuleOf(file);
    graph[from];
    for (const std::string& name : QuotedIncludes(file)) {
      if (!fs::exists(SourceDir / Folder / name)) continue;
      const std::string to = ModuleOf(name);
      if (to != from) graph[from].insert(to);
    }
  }
  return graph;
}

// One cycle of Graph as "A -> B -> A", or "" when it has none.
std::string FindCycle(const TGraph& Graph) {
  enum TMark { Unseen, OnPath, Done };
  std::map<std::string, TMark> mark;
  std::vector<std::string> path;
  std::string cycle;
  std::function<bool(const std::string&)> visit = [&](const std::string& node) {
    mark[node] = OnPath;
    path.push_back(node);
    const auto edges = Graph.find(node);
    if (edges != Graph.end()) {
      for (const std::string& next : edges->second) {
        if (mark[next] == OnPath) {
          auto start = std::find(path.begin(), path.end(), next);
          for (auto it = start; it != path.end(); ++it) cycle += *it + " -> ";
          cycle += next;
          return true;
        }
        if (mark[next] == Unseen && visit(next)) return true;
      }
    }
    path.pop_back();
    mark[node] = Done;
    return false;
  };
  for (const auto& [node, edges] : Graph)
    if (mark[node] == Unseen && visit(node)) return cycle;
  return "";
}

TEST(IncludeGraph, FindsCyclesThroughSeveralModulesAndNamesThem) {
  EXPECT_EQ(FindCycle({{"A", {"B"}}, {"B", {"C"}}, {"C", {}}}), "");
  EXPECT_EQ(FindCycle({{"A", {"B"}}, {"B", {"C"}}, {"C", {"A"}}}), "A -> B -> C -> A");
  EXPECT_EQ(FindCycle({{"A", {"B"}}, {"B", {"C"}}, {"C", {"B"}}}), "B -> C -> B");
}

TEST(IncludeGraph, PlatformModulesDependOnEachOtherOneWayOnly) {
  const TGraph graph = ModuleGraph("platform");
  ASSERT_TRUE(graph.contains("Printer")) << "the platform folder was not read";
  EXPECT_EQ(FindCycle(graph), "") << "a cycle of #include lines between platform modules";
}

TEST(IncludeGraph, LayersIncludeOnlyTheLayersBeneathThem) {
  // Each layer may include itself and the ones after it in this list.
  for (size_t i = 0; i < Layers.size(); ++i) {
    for (const fs::path& file : SourcesOf(Layers[i])) {
      for (const std::string& name : QuotedIncludes(file)) {
        const std::string layer = LayerHolding(name);
        const auto at = std::find(Layers.begin(), Layers.end(), layer);
        if (at == Layers.end()) continue;
        EXPECT_LE(static_cast<size_t>(at - Layers.begin()), i)
            << Layers[i] << "/" << file.filename().string() << " includes " << layer << "/" << name;
      }
    }
  }
}

TEST(IncludeGraph, PrivateHeadersStayInTheirFolder) {
  for (const std::string& layer : Layers) {
    for (const fs::path& file : SourcesOf(layer)) {
      for (const std::string& name : QuotedIncludes(file)) {
        if (!fs::path(name).stem().string().ends_with("_p")) continue;
        EXPECT_TRUE(fs::exists(SourceDir / layer / name))
            << layer << "/" << file.filename().string() << " includes the private header " << name
            << " of another folder";
      }
    }
  }
}

TEST(IncludeGraph, EverySourceIncludesItsOwnHeaderFirst) {
  for (const std::string& layer : Layers) {
    for (const fs::path& file : SourcesOf(layer)) {
      if (file.extension() != ".cpp") continue;
      const std::vector<std::string> names = QuotedIncludes(file);
      const std::string stem = file.stem().string();
      for (const std::string& own : {stem + ".h", stem + "_p.h"}) {
        if (!fs::exists(SourceDir / layer / own)) continue;
        ASSERT_FALSE(names.empty()) << file;
        EXPECT_TRUE(names.front() == stem + ".h" || names.front() == stem + "_p.h")
            << layer << "/" << file.filename().string() << " includes " << names.front()
            << " before its own header";
        break;
      }
    }
  }
}

} // namespace
} // namespace mivora
