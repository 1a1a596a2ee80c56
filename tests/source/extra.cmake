# Source inspection tests load the frame-server module.
add_dependencies(vantaq_source_tests vantaq_framesrv)

# Fuzz targets (cmake/Fuzz.cmake): AVI headers as a source opens them, and frame-server scripts
# through the module's entry point (its sources built in), whose folder holds one of the AVI
# seeds as "src.avi".
vantaq_add_fuzzer(avi_source SOURCES avi_source_fuzzer.cpp
    SEEDS fuzz-seeds/avi_source MAX_LEN 20000)
vantaq_add_fuzzer(framesrv SOURCES framesrv_fuzzer.cpp
    ${CMAKE_SOURCE_DIR}/src/framesrv/module.cpp ${CMAKE_SOURCE_DIR}/src/framesrv/script_eval.cpp
    ${CMAKE_SOURCE_DIR}/src/framesrv/clip_functions.cpp
    SEEDS fuzz-seeds/framesrv)
if(TARGET vantaq_framesrv_fuzzer)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/framesrv_fuzzer.cpp PROPERTIES
        COMPILE_DEFINITIONS "VANTAQ_FUZZ_SCRIPT_SOURCE=\"${CMAKE_CURRENT_LIST_DIR}/fuzz-seeds/avi_source/mjpeg-pcm-16x16-3-frames.avi\"")
endif()

# The libavformat inspection's fuzzer. Each seed is an extension byte (see av_probe_fuzzer.cpp)
# followed by a short ffmpeg file of testsrc2 at 64x48, 3 frames: h264-mp4 (0x00, libx264
# ultrafast, faststart), h264-mkv (0x01), mpeg2-ts (0x03, mpeg2video) and mpeg2-ps (0x04,
# mpeg2video, -f vob). h264-mp4-claims-89m-frames and h264-mp4-claims-2g-frames are h264-mp4 whose
# sample table claims 89,000,000 and 2,147,483,600 one-byte frames in one chunk
# (claim_frames_mp4.py h264-mp4 OUT CLAIM keep); the tests read them too.
vantaq_add_fuzzer(av_probe SOURCES av_probe_fuzzer.cpp SEEDS fuzz-seeds/av_probe
    MAX_LEN 48000 RUNS 2000)
