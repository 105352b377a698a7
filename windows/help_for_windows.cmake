# The help texts as a Windows copy has them: what speaks of Linux (the configuration folder, the
# permission fix, the simulated unit the zip does not hold) said the Windows way or left out, and
# written so that Notepad reads them on any Windows: UTF-8 with a byte-order mark, CR LF.
#   cmake -DIN=app/help.txt -DOUT=.../help.txt -P help_for_windows.cmake
# Each change names the exact lines it replaces; a help text edited so that they are no longer
# there stops the build rather than ship a Windows text that still speaks of Linux.
file(READ ${IN} text)
get_filename_component(name ${IN} NAME)

# Replaces `old` by `new` in `text`, and stops when `old` is not there. (A function, not a list:
# the texts hold semicolons.)
function(change old new)
  string(FIND "${text}" "${old}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${IN} no longer holds the text the Windows copy replaces:\n${old}")
  endif()
  string(REPLACE "${old}" "${new}" replaced "${text}")
  set(text "${replaced}" PARENT_SCOPE)
endfunction()

if(name STREQUAL "help.txt")
  change("安装后在 ~/.config/kv306/ 中）" "安装后在 %APPDATA%\\kv306\\ 中）")
  change("记录窗口大小）保存在 ~/.config/kv306/ 中。" "记录窗口大小）保存在 %APPDATA%\\kv306\\ 中。")
  change("\n\n  没有权限打开串口时，提示中给出设备、所属组和解决办法：把当前用户加入该组\n  （sudo usermod -aG 组名 用户名），注销后重新登录。\n" "\n")
  change("\n七、没有叠加器时\n  可以用模拟叠加器 kv306-sim 练习操作，详见 README。\n" "")
else()
  change("otherwise in ~/.config/kv306/)" "otherwise in %APPDATA%\\kv306\\)")
  change("  No permission             the message names the device, its group and the fix: add\n                            your user to that group (sudo usermod -aG GROUP USER), then\n                            log out and in again.\n" "")
  change("are kept in ~/.config/kv306/." "are kept in %APPDATA%\\kv306\\.")
  change("\n7. Without a unit\n  The simulated unit kv306-sim lets you practise; see the README.\n" "")
endif()
foreach(linux "~/.config" "usermod" "kv306-sim" "README")
  string(FIND "${text}" "${linux}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the Windows copy of ${name} still speaks of ${linux}")
  endif()
endforeach()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "﻿${text}")
