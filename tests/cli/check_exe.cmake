# veraway-check.exe under Wine: `test` and `lint` on one folder, standard output and exit status compared.
# The folder's name is not ASCII, so the arguments must reach the program whole (UTF-16, turned to UTF-8).
# cmake -DEXE=... -DEMULATOR=... -DWORK=... -P check_exe.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/lïsts)
file(WRITE ${WORK}/lïsts/TrustFile_SafeSites.txt "example.org\r\nnews.example.org\r\n")
file(WRITE ${WORK}/lïsts/TrustFile_SafeLinks.txt "links.example.net/\r\nexample.net\r\n")

# expect_run(<expected stdout> <expected status> <arguments...>)
function(expect_run expected_out expected_status)
  execute_process(COMMAND ${EMULATOR} ${EXE} ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(NOT out STREQUAL expected_out OR NOT status STREQUAL expected_status)
    message(FATAL_ERROR "veraway-check ${ARGN}\nstatus ${status}, expected ${expected_status}\n"
                        "--- stdout:\n${out}--- expected:\n${expected_out}--- stderr:\n${err}")
  endif()
endfunction()

string(CONCAT tested "approved: https://news.example.org/a\n"
       "  lïsts\\TrustFile_SafeSites.txt:1: example.org\n"
       "  lïsts\\TrustFile_SafeSites.txt:2: news.example.org\n"
       "approved: http://links.example.net/x\n"
       "  lïsts\\TrustFile_SafeLinks.txt:1: links.example.net/\n"
       "not approved: http://other.test/\n")
expect_run("${tested}" 1 test --dir lïsts https://news.example.org/a http://links.example.net/x http://other.test/)
string(CONCAT linted "lïsts\\TrustFile_SafeSites.txt:2: warning: \"example.org\" (lïsts\\TrustFile_SafeSites.txt:1) "
       "occurs inside this entry, so this one approves nothing more [redundant]\n"
       "lïsts\\TrustFile_SafeLinks.txt:1: warning: \"example.net\" (lïsts\\TrustFile_SafeLinks.txt:2) "
       "occurs inside this entry, so this one approves nothing more [redundant]\n")
expect_run("${linted}" 1 lint --dir lïsts)

# squid: Squid's external ACL protocol on standard input (channel IDs, a CONNECT), answered in order.
file(WRITE ${WORK}/requests.txt "0 https://news.example.org/a -\n1 http://other.test/ -\n2 links.example.net:443\n")
execute_process(COMMAND ${EMULATOR} ${EXE} squid --dir lïsts WORKING_DIRECTORY ${WORK}
                INPUT_FILE ${WORK}/requests.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set(answered "0 OK log=TrustFile_SafeSites.txt:1:example.org\n1 ERR\n2 OK log=TrustFile_SafeLinks.txt:2:example.net\n")
if(NOT out STREQUAL answered OR NOT status STREQUAL 0)
  message(FATAL_ERROR "veraway-check squid\nstatus ${status}\n--- stdout:\n${out}--- expected:\n${answered}"
                      "--- stderr:\n${err}")
endif()
