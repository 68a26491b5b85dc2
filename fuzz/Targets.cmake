# The fuzz targets, fuzz/<name>_fuzz.cpp, with the libraries each one links.
# Shared by the libFuzzer build (fuzz/) and the corpus replays
# (tests/fuzzcorpus/).
set(addoscope_fuzz_targets installrdf json legacy messages methods package ppmd xml zip)
set(addoscope_fuzz_libs_installrdf addoscope_package)
set(addoscope_fuzz_libs_json addoscope_json addoscope_text)
set(addoscope_fuzz_libs_legacy addoscope_zip)
set(addoscope_fuzz_libs_messages addoscope_package addoscope_json)
set(addoscope_fuzz_libs_methods addoscope_zip)
set(addoscope_fuzz_libs_package addoscope_package)
set(addoscope_fuzz_libs_ppmd addoscope_zip)
set(addoscope_fuzz_libs_xml addoscope_xml)
set(addoscope_fuzz_libs_zip addoscope_zip)
