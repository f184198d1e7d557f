// Small shapefiles for the window's tests, with the table beside them.
#pragma once

#include <string>
#include <vector>

#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"

namespace plexor::test {

struct TestField {
  std::string Name;
  char Type;
  int Length;
};

inline const std::vector<TestField> kRoadFields = {{"NAME", 'C', 10}, {"LANES", 'N', 4}};

// A point shapefile of `records` points with its table beside it; returns the .shp path.
// Date fields hold 2024-03-05.
inline std::string MakeShapefile(const TempDir& dir, const std::string& base,
                                 const std::vector<TestField>& fields = kRoadFields,
                                 int records = 2) {
  ShpBuilder shp;
  shp.HeaderShapeType(1);
  DbfBuilder dbf;
  for (const TestField& f : fields) dbf.Field(f.Name, f.Type, f.Length);
  for (int i = 0; i < records; ++i) {
    shp.Point(139.5 + i, 35.25 + i);
    std::vector<std::string> values;
    for (const TestField& f : fields) {
      if (f.Type == 'D') {
        values.push_back("20240305");
      } else {
        values.push_back(f.Type == 'N' ? std::to_string(i) : "r" + std::to_string(i));
      }
    }
    dbf.Record(values);
  }
  shp.Write(dir / (base + ".shp"));
  dbf.Write(dir / (base + ".dbf"));
  return dir / (base + ".shp");
}

}  // namespace plexor::test
