# How a started clip's text samples are read, shared by the player wrapper and roadlog-probe. No
# Qt: also included from tools/ in a build without the GUI folders.
if(NOT TARGET roadlog_playback_text)
    add_library(roadlog_playback_text STATIC ${CMAKE_SOURCE_DIR}/playback/text_reading.cpp)
    target_link_libraries(roadlog_playback_text PUBLIC roadlog_engine)
endif()
