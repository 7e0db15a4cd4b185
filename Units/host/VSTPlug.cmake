# VST2 hosting (Windows builds): TVSTPlugin, its platform-free rules and the
# fault guard around calls into plugin code. Included by CMakeLists.txt.
target_sources(pelorin_plughost PRIVATE
  VSTPlug.cpp
  VSTPlugEditor.cpp
  VSTPlugCore.cpp
  VSTPlugState.cpp
  FaultGuard.cpp
)
target_link_libraries(pelorin_plughost PUBLIC winmm pelorin_ui)
