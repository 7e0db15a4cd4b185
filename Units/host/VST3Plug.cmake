# VST3 hosting (Windows builds): the module list, class information and
# TVST3Plugin's life cycle. Included by CMakeLists.txt.
target_sources(pelorin_plughost PRIVATE
  VST3Plug.cpp
)
