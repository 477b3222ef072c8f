# Counts what a window program does during one click, from a Wine relay trace taken with
# WINEDEBUG=+pid,+relay (lines "PID:TID:Call module.function(args) ret=ADDRESS", "PID:TID:Ret  ...",
# "PID:TID:Call window proc ADDRESS (hwnd=H,msg=NAME,...)").
#
#   awk -v lo=HEX -v hi=HEX -v click=N -f relay_counts.awk trace.log
#
# lo/hi bound the program's image (16 hex digits, lower case): a call whose return address lies
# there is one the program itself makes ("direct"). click picks the N-th click: the trace is cut
# from the N-th "Call window proc ... msg=BM_CLICK" to its "Ret", in the process that got it, all
# of its threads. Every other relayed call inside is charged to the innermost direct call that
# encloses it ("nested"), which shows where a direct call spends its work. Window procedures run
# for messages that another process sent (the driver's WM_GETTEXT queries) are counted apart.
# Output, tab separated: "direct NAME COUNT", "nested NAME COUNT", "paint ROLE COUNT",
# "message NAME COUNT" (window procedures entered, by message), "lines COUNT".
function pad(h) {
  h = tolower(h)
  while (length(h) < 16) h = "0" h
  return h
}
function message_name(number) {
  number = tolower(number)
  sub(/^0+/, "", number)
  return (number in message_names) ? message_names[number] : "0x" number
}
BEGIN {
  state = 0
  # Message numbers (hexadecimal, without leading zeros) and their names.
  count = split("402 PBM_SETPOS 407 PBM_GETRANGE 406 PBM_SETRANGE32 404 PBM_SETSTEP " \
                "b1 EM_SETSEL c2 EM_REPLACESEL b7 EM_SCROLLCARET c5 EM_SETLIMITTEXT " \
                "c WM_SETTEXT e WM_GETTEXTLENGTH d WM_GETTEXT 1001 DTM_GETSYSTEMTIME", pairs, " ")
  for (i = 1; i < count; i += 2) message_names[pairs[i]] = pairs[i + 1]
}
{
  colon1 = index($0, ":")
  if (colon1 == 0) next
  pid = substr($0, 1, colon1 - 1)
  rest = substr($0, colon1 + 1)
  colon2 = index(rest, ":")
  if (colon2 == 0) next
  tid = substr(rest, 1, colon2 - 1)
  body = substr(rest, colon2 + 1)
}
state == 0 && body ~ /^Call window proc .*msg=BM_CLICK/ {
  if (++clicks == click) {
    state = 1
    ours = pid
    click_tid = tid
  }
}
state != 1 || pid != ours { next }
{ ++lines }
body ~ /^Call window proc / {
  proc = body
  sub(/^Call window proc /, "", proc)
  sub(/ .*/, "", proc)
  msg = body
  sub(/.*msg=/, "", msg)
  sub(/,.*/, "", msg)
  hwnd = body
  sub(/.*hwnd=/, "", hwnd)
  sub(/,.*/, "", hwnd)
  if (msg == "BM_CLICK") role[hwnd] = "button"
  if (msg == "EM_REPLACESEL") role[hwnd] = "log"
  if (msg == "WM_USER+2") role[hwnd] = "progress bar"
  if (msg == "WM_COMMAND") role[hwnd] = "main window"
  # A subclassed control's procedure hands the message on to the one it replaced: count the
  # message once, at the outermost procedure.
  chained = 0
  for (d = top[tid]; d > 0; --d) {
    if (key[tid, d] != "") {
      chained = key[tid, d] == hwnd "/" msg
      break
    }
  }
  if (!chained) {
    if (msg == "WM_PAINT") painted[hwnd]++
    messages[msg]++
  }
  depth = ++top[tid]
  key[tid, depth] = hwnd "/" msg
  name[tid, depth] = "window proc " proc
  plain[tid, depth] = ""
  direct[tid, depth] = 0
  foreign[tid, depth] = (msg == "WM_GETTEXT" || msg == "WM_GETTEXTLENGTH" || \
                         (msg == "WM_SETTEXT" && role[hwnd] == "log"))
  next
}
body ~ /^Ret  window proc / {
  proc = body
  sub(/^Ret  window proc /, "", proc)
  sub(/ .*/, "", proc)
  while (top[tid] > 0 && name[tid, top[tid]] != "window proc " proc) --top[tid]
  if (top[tid] > 0) --top[tid]
  if (tid == click_tid && top[tid] == 0) state = 2
  next
}
body ~ /^Call / {
  fn = body
  sub(/^Call /, "", fn)
  args = fn
  sub(/\(.*/, "", fn)
  ret = body
  sub(/.* ret=/, "", ret)
  ret = pad(ret)
  is_direct = ret >= lo && ret < hi
  label = fn
  if (fn == "user32.SendMessageA" || fn == "user32.SendMessageW" || fn == "user32.PostMessageA") {
    sub(/^[^(]*\(/, "", args)
    split(args, part, ",")
    label = fn "[" message_name(part[2]) "]"
  }
  in_foreign = 0
  owner = ""
  for (d = top[tid]; d > 0; --d) {
    if (foreign[tid, d]) in_foreign = 1
    if (owner == "" && direct[tid, d]) owner = name[tid, d]
  }
  if (in_foreign) {
    foreign_calls++
  } else if (is_direct) {
    direct_count[label]++
  } else {
    nested_count[owner == "" ? "(outside the program's own calls)" : owner]++
  }
  depth = ++top[tid]
  name[tid, depth] = label
  plain[tid, depth] = fn
  key[tid, depth] = ""
  direct[tid, depth] = is_direct
  foreign[tid, depth] = 0
  next
}
body ~ /^Ret  / {
  fn = body
  sub(/^Ret  /, "", fn)
  sub(/\(.*/, "", fn)
  while (top[tid] > 0 && plain[tid, top[tid]] != fn) --top[tid]
  if (top[tid] > 0) --top[tid]
  next
}
END {
  for (k in direct_count) printf "direct\t%s\t%d\n", k, direct_count[k]
  for (k in nested_count) printf "nested\t%s\t%d\n", k, nested_count[k]
  for (h in painted) printf "paint\t%s\t%d\n", (h in role ? role[h] : "other " h), painted[h]
  for (m in messages) printf "message\t%s\t%d\n", m, messages[m]
  printf "foreign\tcalls answering the driver\t%d\n", foreign_calls
  printf "lines\t%d\n", lines
}
