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
# Host names judged alike by the list compiled into the Windows program: the issue's cases.
file(MAKE_DIRECTORY ${WORK}/hosts)
file(WRITE ${WORK}/hosts/TrustFile_SafeSites.txt "t.co\r\n.co.uk\r\n://box.com/\r\n://box.com/a\r\n.澳門\r\n")
string(CONCAT linted "lïsts\\TrustFile_SafeSites.txt:1: warning: \"example.org\" also occurs in other sites' host "
       "names: it approves https://evil-example.org/ and https://example.org.attacker.example/; write "
       "\"://example.org/\" or \".example.org/\": through Squid only that host and its subdomains; in the browser any address that holds one, as "
       "http://evil.example/?u=https://example.org/ [unanchored]\n"
       "lïsts\\TrustFile_SafeSites.txt:2: warning: \"news.example.org\" also occurs in other sites' host names: "
       "it approves https://news.example.org.attacker.example/; write \"news.example.org/\" "
       "(through Squid too, any address that holds it: lint --for squid gives the forms Squid anchors at the "
       "host); in the browser any address that holds it, as http://evil.example/?u=news.example.org/ "
       "[unanchored]\n"
       "lïsts\\TrustFile_SafeLinks.txt:2: warning: \"example.net\" also occurs in other sites' host names: it "
       "approves https://evil-example.net/ and https://example.net.attacker.example/; write "
       "\"://example.net/\" or \".example.net/\": through Squid only that host and its subdomains; in the browser any address that holds one, as "
       "http://evil.example/?u=https://example.net/ [unanchored]\n")
expect_run("${linted}" 1 lint --dir lïsts)
string(CONCAT linted "hosts\\TrustFile_SafeSites.txt:1: warning: \"t.co\" also occurs in other sites' host "
       "names: it approves https://evil-t.co/, https://t.co.attacker.example/ and https://t.com/; write "
       "\"://t.co/\" or \".t.co/\": through Squid only that host and its subdomains; in the browser any address that holds one, as "
       "http://evil.example/?u=https://t.co/ [unanchored]\n"
       "hosts\\TrustFile_SafeSites.txt:2: warning: \".co.uk\" is a public suffix: it approves every site under "
       "it, as https://anyone.co.uk/; name the sites meant, as \".SITE.co.uk/\" [suffix]\n"
       "hosts\\TrustFile_SafeSites.txt:4: warning: \"://box.com/\" (hosts\\TrustFile_SafeSites.txt:3) occurs "
       "inside this entry, so this one approves nothing more [redundant]\n"
       "hosts\\TrustFile_SafeSites.txt:5: warning: \".澳門\" is a public suffix: it approves every site "
       "under it, as https://anyone.澳門/; name the sites meant, as \".SITE.澳門/\" [suffix]\n"
       "hosts\\TrustFile_SafeSites.txt:5: warning: the host is written in Unicode: browsers send it as "
       "\"xn--mix891f\", which this entry never matches; write \".xn--mix891f\" [idn]\n")
expect_run("${linted}" 1 lint --dir hosts --ignore broad)

# squid: Squid's external ACL protocol on standard input (channel IDs, a CONNECT), answered in order.
file(WRITE ${WORK}/requests.txt "0 https://news.example.org/a -\n1 http://other.test/ -\n2 links.example.net:443\n")
execute_process(COMMAND ${EMULATOR} ${EXE} squid --dir lïsts WORKING_DIRECTORY ${WORK}
                INPUT_FILE ${WORK}/requests.txt OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set(answered "0 OK log=TrustFile_SafeSites.txt:1:example.org\n1 ERR\n2 OK log=TrustFile_SafeLinks.txt:1:links.example.net/\n")
if(NOT out STREQUAL answered OR NOT status STREQUAL 0)
  message(FATAL_ERROR "veraway-check squid\nstatus ${status}\n--- stdout:\n${out}--- expected:\n${answered}"
                      "--- stderr:\n${err}")
endif()

# A folder with neither list is an error; an address that could forge a line is shown quoted.
file(MAKE_DIRECTORY ${WORK}/empty)
function(expect_err expected_err expected_status)
  execute_process(COMMAND ${EMULATOR} ${EXE} ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(NOT err STREQUAL expected_err OR NOT status STREQUAL expected_status)
    message(FATAL_ERROR "veraway-check ${ARGN}\nstatus ${status}, expected ${expected_status}\n"
                        "--- stderr:\n${err}--- expected:\n${expected_err}")
  endif()
endfunction()
expect_err("veraway-check: error: neither empty\\TrustFile_SafeSites.txt nor empty\\TrustFile_SafeLinks.txt exists: not a folder of lists\n" 2 lint --dir empty)
string(ASCII 27 esc)
expect_run("not approved: \"a\\x1b[2mb\\nc\"\n" 1 test --dir lïsts "a${esc}[2mb\nc")
