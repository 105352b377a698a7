<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Tx</name>
    <message>
        <source>发送字符</source>
        <translation>Sending characters</translation>
    </message>
    <message>
        <source>没有权限打开串口</source>
        <translation>No permission to open the port</translation>
    </message>
    <message>
        <source>端口溢出</source>
        <translation>Port overrun</translation>
    </message>
    <message>
        <source>接收缓冲区溢出</source>
        <translation>Receive buffer overflow</translation>
    </message>
    <message>
        <source>该串口不存在！</source>
        <translation>This port does not exist!</translation>
    </message>
    <message>
        <source>串口已被占用</source>
        <translation>Port in use</translation>
    </message>
    <message>
        <source>串口还没打开！</source>
        <translation>The port is not open!</translation>
    </message>
    <message>
        <source>串口尚未打开!</source>
        <translation>The port is not open yet!</translation>
    </message>
    <message>
        <source>请把用户 %1 加入 %2 组：
sudo usermod -aG %3 %1
然后注销并重新登录。</source>
        <translation>Add the user %1 to the group %2:
sudo usermod -aG %3 %1
then log out and log in again.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>设备的所属组也没有读写权限，请让管理员为它设置访问权限（udev 规则）。</source>
        <translation>The device&apos;s group may not read and write it either: ask an administrator to give access to it (a udev rule).</translation>
    </message>
    <message>
        <source>没有权限打开串口 %1（属于 %2 组）。</source>
        <translation>No permission to open the port %1 (group %2).</translation>
    </message>
    <message>
        <source>找到串口，但当前用户没有权限打开：</source>
        <translation>Serial ports were found, but this user may not open them:</translation>
    </message>
    <message>
        <source>%1（%2 组）</source>
        <translation>%1 (group %2)</translation>
    </message>
    <message>
        <source>之后重新打开程序。</source>
        <translation>Then start the program again.</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>含义</source>
        <translation>Meaning</translation>
    </message>
    <message>
        <source>应答</source>
        <translation>Reply</translation>
    </message>
    <message>
        <source>用时(ms)</source>
        <translation>Took (ms)</translation>
    </message>
    <message>
        <source>保留</source>
        <translation>Keep</translation>
    </message>
    <message>
        <source>去除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>保存参数</source>
        <translation>Save parameters</translation>
    </message>
    <message>
        <source>水平偏移</source>
        <translation>Horizontal</translation>
    </message>
    <message>
        <source>垂直偏移</source>
        <translation>Vertical</translation>
    </message>
    <message>
        <source>圆大小</source>
        <translation>Circle size</translation>
    </message>
    <message>
        <source>读出参数</source>
        <translation>Read parameters</translation>
    </message>
    <message>
        <source>叠加开关</source>
        <translation>Overlay</translation>
    </message>
    <message>
        <source>十字线开关</source>
        <translation>Crosshair</translation>
    </message>
    <message>
        <source>错误 %1 %2</source>
        <translation>Error %1 %2</translation>
    </message>
    <message>
        <source>无应答</source>
        <translation>No reply</translation>
    </message>
    <message>
        <source>校验错误</source>
        <translation>Bad check byte</translation>
    </message>
    <message>
        <source>回显不等</source>
        <translation>Unequal echo</translation>
    </message>
    <message>
        <source>数值超出范围</source>
        <translation>Value out of range</translation>
    </message>
    <message>
        <source>应答错误</source>
        <translation>Bad reply</translation>
    </message>
    <message>
        <source>六个参数</source>
        <translation>Six parameters</translation>
    </message>
    <message>
        <source>通信错误！</source>
        <translation>Communication error!</translation>
    </message>
    <message>
        <source>通信错误！1</source>
        <translation>Communication error! 1 (no reply)</translation>
    </message>
    <message>
        <source>OK！</source>
        <translation>OK!</translation>
    </message>
    <message>
        <source>读出成功！</source>
        <translation>Read OK!</translation>
    </message>
    <message>
        <source>视频制式</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>圆度</source>
        <translation>Roundness</translation>
    </message>
    <message>
        <source>最大圆外十字线</source>
        <translation>Outer cross</translation>
    </message>
    <message>
        <source>校验一致：设备保存的六个参数与写入的相同。</source>
        <translation>Checked: the unit holds the six values written.</translation>
    </message>
    <message>
        <source>%1：写入 %2，设备为 %3</source>
        <translation>%1: wrote %2, unit holds %3</translation>
    </message>
    <message>
        <source>圆形十字线视频字符叠加器KV306 参数设置及操控软件V1.1</source>
        <translation>KV306 Circular Crosshair Video Overlay - Setup and Control V1.1</translation>
    </message>
    <message>
        <source>在你的电脑找不到串口，先安装USB转串口后重新打开程序</source>
        <translation>No serial port was found on this computer. Install a USB-to-serial adapter first, then start the program again.</translation>
    </message>
    <message>
        <source>无串口</source>
        <translation>No port</translation>
    </message>
    <message>
        <source>找不到串口，如果之前使用USB转串口设备，请插入后重新运行程序</source>
        <translation>Port not found. If you used a USB-to-serial adapter before, plug it in and start the program again.</translation>
    </message>
    <message>
        <source>选择串口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>发送：</source>
        <translation>Sent:</translation>
    </message>
    <message>
        <source>圆大小调整</source>
        <translation>Circle size</translation>
    </message>
    <message>
        <source>读出</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>圆度调整</source>
        <translation>Roundness</translation>
    </message>
    <message>
        <source>选择串口：叠加器所接的串口</source>
        <translation>Port: the serial port the unit is connected to</translation>
    </message>
    <message>
        <source>叠加开关：打开或关闭整个叠加画面</source>
        <translation>Overlay on/off: switches the whole overlay on or off</translation>
    </message>
    <message>
        <source>十字线开关：打开或关闭十字线</source>
        <translation>Crosshair on/off: switches the crosshair on or off</translation>
    </message>
    <message>
        <source>水平偏移：0 到 63</source>
        <translation>Horizontal offset: 0 to 63</translation>
    </message>
    <message>
        <source>垂直偏移：0 到 63</source>
        <translation>Vertical offset: 0 to 63</translation>
    </message>
    <message>
        <source>圆大小调整：0 到 51</source>
        <translation>Circle size: 0 to 51</translation>
    </message>
    <message>
        <source>视频制式：PAL 或 NTSC</source>
        <translation>Video standard: PAL or NTSC</translation>
    </message>
    <message>
        <source>圆度调整：0 到 3</source>
        <translation>Roundness: 0 to 3</translation>
    </message>
    <message>
        <source>最大圆外十字线：保留或去除最大的圆外面的十字线</source>
        <translation>Crosshair outside the largest circle: keep or remove it</translation>
    </message>
    <message>
        <source>找不到可以打开帮助文件的程序，请用文本编辑器打开：</source>
        <translation>No program was found to show the help file; open it with a text editor:</translation>
    </message>
    <message>
        <source>通信记录</source>
        <translation>Traffic log</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>保存…</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>保存通信记录</source>
        <translation>Save traffic log</translation>
    </message>
    <message>
        <source>kv306-通信记录.txt</source>
        <translation>kv306-traffic.txt</translation>
    </message>
    <message>
        <source>文本文件 (*.txt *.tsv)</source>
        <translation>Text files (*.txt *.tsv)</translation>
    </message>
    <message>
        <source>无法保存 %1：%2</source>
        <translation>Cannot save %1: %2</translation>
    </message>
    <message>
        <source>参数文件 (*.json);;所有文件 (*)</source>
        <translation>Profiles (*.json);;All files (*)</translation>
    </message>
    <message>
        <source>无法导入参数文件 %1：
%2</source>
        <translation>Cannot import the profile %1:
%2</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>导出参数(&amp;E)…</source>
        <translation>&amp;Export…</translation>
    </message>
    <message>
        <source>导入参数(&amp;I)…</source>
        <translation>&amp;Import…</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>工具(&amp;T)</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>查找设备(&amp;D)</source>
        <translation>Find &amp;unit</translation>
    </message>
    <message>
        <source>保存后校验(&amp;V)</source>
        <translation>&amp;Check after save</translation>
    </message>
    <message>
        <source>通信记录(&amp;L)…</source>
        <translation>Traffic &amp;log…</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>使用帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>关于(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>导出参数</source>
        <translation>Export parameters</translation>
    </message>
    <message>
        <source>无法导出参数文件 %1：
%2</source>
        <translation>Cannot export the profile %1:
%2</translation>
    </message>
    <message>
        <source>导入参数</source>
        <translation>Import parameters</translation>
    </message>
    <message>
        <source>正在查找设备：%1（%2/%3）</source>
        <translation>Looking for the unit: %1 (%2 of %3)</translation>
    </message>
    <message>
        <source>查找完毕</source>
        <translation>Search done</translation>
    </message>
    <message>
        <source>在 %1 个串口上都没有找到设备。</source>
        <translation>No unit answered on any of %1 ports.</translation>
    </message>
    <message>
        <source>在 %1 上找到设备，已选用。</source>
        <translation>Found the unit on %1, now chosen.</translation>
    </message>
    <message>
        <source>找到 %1 个设备：%2
已选用 %3。</source>
        <translation>Found %1 units: %2
Chosen: %3.</translation>
    </message>
    <message>
        <source>%1
版本 %2
Qt %3
当前串口：%4（%5）</source>
        <translation>%1
Version %2
Qt %3
Port in use: %4 (%5)</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>help.txt</source>
        <translation>help_en.txt</translation>
    </message>
    <message>
        <source>%1 是循环的符号链接</source>
        <translation>%1 is a loop of symbolic links</translation>
    </message>
    <message>
        <source>%1 的路径中有一部分不是文件夹</source>
        <translation>part of the path %1 is not a folder</translation>
    </message>
    <message>
        <source>%1 是一个文件夹</source>
        <translation>%1 is a folder</translation>
    </message>
    <message>
        <source>%1 是一个普通文件</source>
        <translation>%1 is a plain file</translation>
    </message>
    <message>
        <source>%1 不是终端设备</source>
        <translation>%1 is no terminal device</translation>
    </message>
    <message>
        <source>无法记住所选串口：%1 是一个文件夹，不是文件。</source>
        <translation>Cannot remember the chosen port: %1 is a folder, not a file.</translation>
    </message>
    <message>
        <source>无法记住所选串口：%1 写不进去（%2）。</source>
        <translation>Cannot remember the chosen port: %1 cannot be written (%2).</translation>
    </message>
    <message>
        <source>%1 不是串口设备：%2</source>
        <translation>%1 is not a serial device: %2</translation>
    </message>
    <message>
        <source>串口都被其他程序占用：%1
请先关闭占用串口的程序（例如另一个已打开的本软件），然后重新打开程序。</source>
        <translation>Every port is held by another program: %1
Close the program that holds it (another window of this tool, for example), then start this one again.</translation>
    </message>
    <message>
        <source>%1 不是%2的取值（%3），已改回 %4。</source>
        <translation>%1 is not a value of %2 (%3); put back to %4.</translation>
    </message>
    <message>
        <source>%1 已存在。
要替换它吗？</source>
        <translation>%1 already exists.
Replace it?</translation>
    </message>
    <message>
        <source>查找设备</source>
        <translation>Find unit</translation>
    </message>
    <message>
        <source>已保存</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>已应答</source>
        <translation>Answered</translation>
    </message>
    <message>
        <source>%1 增大</source>
        <translation>%1 up</translation>
    </message>
    <message>
        <source>%1 减小</source>
        <translation>%1 down</translation>
    </message>
    <message>
        <source>启动时读出参数(&amp;R)</source>
        <translation>&amp;Read the unit at start-up</translation>
    </message>
    <message>
        <source>%1失败：%2</source>
        <translation>%1 failed: %2</translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>校验读出</source>
        <translation>Check read</translation>
    </message>
    <message>
        <source>保存成功，校验一致</source>
        <translation>Saved and checked</translation>
    </message>
    <message>
        <source>校验不一致：设备保存的参数与写入的不同。</source>
        <translation>Check failed: the unit holds other values than those written.</translation>
    </message>
    <message>
        <source>保存后校验不一致</source>
        <translation>Check after save failed: the unit holds other values</translation>
    </message>
    <message>
        <source>读出成功</source>
        <translation>Read done</translation>
    </message>
    <message>
        <source>启动时读出</source>
        <translation>Read at start-up</translation>
    </message>
    <message>
        <source>启动时读出成功</source>
        <translation>Read at start-up done</translation>
    </message>
    <message>
        <source>%1：设备已应答</source>
        <translation>%1: the unit answered</translation>
    </message>
    <message>
        <source>文件大于 %1 KiB</source>
        <translation>larger than %1 KiB</translation>
    </message>
    <message>
        <source>不是 UTF-8 文本</source>
        <translation>not UTF-8 text</translation>
    </message>
    <message>
        <source>不是 JSON：%1（位置 %2）</source>
        <translation>not JSON: %1 at offset %2</translation>
    </message>
    <message>
        <source>不是 JSON 对象</source>
        <translation>not a JSON object</translation>
    </message>
    <message>
        <source>键 &quot;%1&quot; 出现了两次</source>
        <translation>key &quot;%1&quot; given twice</translation>
    </message>
    <message>
        <source>&quot;format&quot; 不是 &quot;%1&quot;</source>
        <translation>&quot;format&quot; is not &quot;%1&quot;</translation>
    </message>
    <message>
        <source>&quot;version&quot; 不是 1</source>
        <translation>&quot;version&quot; is not 1</translation>
    </message>
    <message>
        <source>未知的键 &quot;%1&quot;</source>
        <translation>unknown key &quot;%1&quot;</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>no such file</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a plain file</translation>
    </message>
    <message>
        <source>文件是空的</source>
        <translation>the file is empty</translation>
    </message>
    <message>
        <source>引号没有配对</source>
        <translation>a quote is not closed</translation>
    </message>
    <message>
        <source>它的内容不是文本</source>
        <translation>it does not hold text</translation>
    </message>
    <message>
        <source>“%1”不是串口名（应为 COM1 到 COM20）</source>
        <translation>&apos;%1&apos; is no port name (COM1 to COM20)</translation>
    </message>
    <message>
        <source>“%1”不在 COM1 到 COM20 之内</source>
        <translation>&apos;%1&apos; is not one of COM1 to COM20</translation>
    </message>
    <message>
        <source>它是一个文件夹，不是文件</source>
        <translation>it is a folder, not a file</translation>
    </message>
    <message>
        <source>它是指向 %1 的符号链接，那里什么也没有</source>
        <translation>it is a symbolic link to %1, where there is nothing</translation>
    </message>
    <message>
        <source>它不是普通文件</source>
        <translation>it is not a plain file</translation>
    </message>
    <message>
        <source>无法读取（%1）</source>
        <translation>it cannot be read (%1)</translation>
    </message>
    <message>
        <source>无法记住所选串口：%1 是符号链接（指向 %2），不会写入它所指的文件。</source>
        <translation>Cannot remember the chosen port: %1 is a symbolic link (to %2); the file it leads to is not written.</translation>
    </message>
    <message>
        <source>无法记住所选串口：无法建立文件夹 %1（%2）。</source>
        <translation>Cannot remember the chosen port: the folder %1 cannot be made (%2).</translation>
    </message>
    <message>
        <source>%1 无法使用（%2），已改记为 %3。</source>
        <translation>%1 could not be used (%2); it now remembers %3.</translation>
    </message>
    <message>
        <source>%1 无法使用（%2），现用 %3。</source>
        <translation>%1 could not be used (%2); using %3.</translation>
    </message>
    <message>
        <source>本程序</source>
        <translation>this program</translation>
    </message>
    <message>
        <source>%1（进程 %2）</source>
        <translation>%1 (process %2)</translation>
    </message>
    <message>
        <source>一个程序</source>
        <translation>a program</translation>
    </message>
    <message>
        <source>文件中有 NUL 字节，不是文本</source>
        <translation>the file holds a NUL byte: it is no text</translation>
    </message>
    <message>
        <source>缺少键 %1</source>
        <translation>missing key %1</translation>
    </message>
    <message>
        <source>%1 必须是字符串（%2）</source>
        <translation>%1 must be a string (%2)</translation>
    </message>
    <message>
        <source>%1 必须是整数（%2）</source>
        <translation>%1 must be a whole number (%2)</translation>
    </message>
    <message>
        <source>%1 超出范围（%2）</source>
        <translation>%1 is out of range (%2)</translation>
    </message>
    <message>
        <source>收到 %1 个字节，应为 %2 个</source>
        <translation>%1 bytes came where %2 were expected</translation>
    </message>
    <message>
        <source> …（共 %1 个字节）</source>
        <translation> … (%1 bytes in all)</translation>
    </message>
    <message>
        <source>（可疑：%1）</source>
        <translation> (doubtful: %1)</translation>
    </message>
    <message>
        <source>两个应答字节相隔 %1 ms，可能是线路噪声而不是设备</source>
        <translation>the two reply bytes came %1 ms apart: line noise rather than the unit?</translation>
    </message>
    <message>
        <source>没有发送。</source>
        <translation> Nothing was sent.</translation>
    </message>
    <message>
        <source>已按 %1 预设 水平 %2 垂直 %3 圆 %4 圆度 %5</source>
        <translation>%1 preset applied: horizontal %2, vertical %3, circle %4, roundness %5</translation>
    </message>
    <message>
        <source>等待查找设备的最后一次读出结束…</source>
        <translation>Waiting for the search&apos;s last read to end…</translation>
    </message>
    <message>
        <source>导出失败：%1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>已导出 %1 到 %2</source>
        <translation>Exported %1 to %2</translation>
    </message>
    <message>
        <source>%1（&quot;%2&quot;）</source>
        <translation>%1 (&quot;%2&quot;)</translation>
    </message>
    <message>
        <source>导入失败：%1</source>
        <translation>Import failed: %1</translation>
    </message>
    <message>
        <source>已导入 %1：%2，尚未写入设备（按“保存”写入）</source>
        <translation>Imported %1: %2, not yet written to the unit (Save writes it)</translation>
    </message>
    <message>
        <source>查找设备已取消，串口不变</source>
        <translation>Search cancelled; the port stays</translation>
    </message>
    <message>
        <source>%1 是命名管道</source>
        <translation>%1 is a named pipe</translation>
    </message>
    <message>
        <source>%1 是设备文件</source>
        <translation>%1 is a device</translation>
    </message>
    <message>
        <source>%1 不是普通文件</source>
        <translation>%1 is not a plain file</translation>
    </message>
    <message>
        <source>%1 是指向 %2 的符号链接，那里什么也没有</source>
        <translation>%1 is a symbolic link to %2, where there is nothing</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>%1 不存在：请检查 USB 转串口转接器是否插好，或在“选择串口”中换一个串口。</source>
        <translation>%1 does not exist: check that the USB serial adapter is plugged in, or choose another port.</translation>
    </message>
    <message>
        <source>%1 正被其他程序占用：请关闭那个程序，或换一个串口。</source>
        <translation>%1 is held by another program: close that program, or choose another port.</translation>
    </message>
    <message>
        <source>%1 正被 %2 占用：请关闭它，或换一个串口。</source>
        <translation>%1 is held by %2: close it, or choose another port.</translation>
    </message>
    <message>
        <source>与 %1 的连接断了：转接器可能被拔出了。插好后再试一次。</source>
        <translation>The connection to %1 broke off: the adapter may have been pulled. Plug it in and try again.</translation>
    </message>
    <message>
        <source>%1 不接受 9600 波特、无校验、8 位数据、1 位停止位的设置。</source>
        <translation>%1 does not take 9600 baud, no parity, 8 data bits, 1 stop bit.</translation>
    </message>
    <message>
        <source>。</source>
        <translation>.</translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation> (%1)</translation>
    </message>
    <message>
        <source>已写入，校验失败：%1</source>
        <translation>Written, check failed: %1</translation>
    </message>
    <message>
        <source>保存中…</source>
        <translation>Saving…</translation>
    </message>
    <message>
        <source>已写入，校验失败：</source>
        <translation>Written, check failed:</translation>
    </message>
    <message>
        <source>读出中…</source>
        <translation>Reading…</translation>
    </message>
    <message>
        <source>启动时读出中…</source>
        <translation>Reading at start-up…</translation>
    </message>
    <message>
        <source>%1…</source>
        <translation>%1…</translation>
    </message>
    <message>
        <source>（数值没有变：设备可能没有执行这一步）</source>
        <translation> (the value did not change: the unit may not have made the step)</translation>
    </message>
    <message>
        <source>%1 是套接字</source>
        <translation>%1 is a socket</translation>
    </message>
    <message>
        <source>%1 不是字符设备</source>
        <translation>%1 is not a character device</translation>
    </message>
    <message>
        <source>%1 在 Wine 中指向一个文件夹</source>
        <translation>under Wine, %1 leads to a folder</translation>
    </message>
    <message>
        <source>它不接受串口的设置（%1）</source>
        <translation>it takes no serial settings (%1)</translation>
    </message>
    <message>
        <source>生产模式(&amp;P)…</source>
        <translation>&amp;Production mode…</translation>
    </message>
    <message>
        <source>没有可用的串口：请先接上转接器并选择串口。</source>
        <translation>No port to use: plug in an adapter and choose its port first.</translation>
    </message>
    <message>
        <source>生产模式</source>
        <translation>Production mode</translation>
    </message>
    <message>
        <source>生产模式运行中</source>
        <translation>Production mode running</translation>
    </message>
    <message>
        <source>生产模式已停止</source>
        <translation>Production mode stopped</translation>
    </message>
    <message>
        <source>生产模式 — %1</source>
        <translation>Production mode — %1</translation>
    </message>
    <message>
        <source>每台设备写入：%1</source>
        <translation>Written to every unit: %1</translation>
    </message>
    <message>
        <source>报告文件：</source>
        <translation>Report file:</translation>
    </message>
    <message>
        <source>选择(&amp;C)…</source>
        <translation>&amp;Choose…</translation>
    </message>
    <message>
        <source>开始(&amp;S)</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Outcome</translation>
    </message>
    <message>
        <source>用时</source>
        <translation>Took</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>已检 0 台</source>
        <translation>0 units</translation>
    </message>
    <message>
        <source>报告文件</source>
        <translation>Report file</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>不能写入 %1：%2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>报告文件不能写入：%1</source>
        <translation>The report cannot be written: %1</translation>
    </message>
    <message>
        <source>报告文件不能写入：
%1</source>
        <translation>The report cannot be written:
%1</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>等待设备…</source>
        <translation>Waiting for a unit…</translation>
    </message>
    <message>
        <source>正在停止…</source>
        <translation>Stopping…</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>报告文件不能写入，生产模式已停止：%1</source>
        <translation>The report cannot be written, so production mode stopped: %1</translation>
    </message>
    <message>
        <source>正在设置…</source>
        <translation>Setting up…</translation>
    </message>
    <message>
        <source>已写入，未校验（已停止）</source>
        <translation>Written, not checked (stopped)</translation>
    </message>
    <message>
        <source>已写入，校验不符：%1</source>
        <translation>Written, check failed: %1</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>设备无应答</source>
        <translation>the unit did not answer</translation>
    </message>
    <message>
        <source>设备应答有误</source>
        <translation>the unit&apos;s reply was wrong</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>PASS</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>FAIL</translation>
    </message>
    <message>
        <source>第 %1 台合格，请取下设备</source>
        <translation>Unit %1 passed: take it away</translation>
    </message>
    <message>
        <source>不合格：%1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>串口 %1 还不能用（%2）</source>
        <translation>%1 cannot be used yet (%2)</translation>
    </message>
    <message>
        <source>请接上下一台设备</source>
        <translation>Plug in the next unit</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>%1为 %2，应为 %3</source>
        <translation>%1 is %2, not %3</translation>
    </message>
    <message>
        <source>与 %1 是同一个设备</source>
        <translation>it is the same device as %1</translation>
    </message>
    <message>
        <source>另一个工位正在使用它</source>
        <translation>another station is using it</translation>
    </message>
    <message>
        <source>另一个工位正在使用它：%1</source>
        <translation>another station is using it: %1</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1 不是工位报告（它的第一行不是报告的表头）；请另选一个新文件</source>
        <translation>%1 is not a station report (its first line is not the report&apos;s header); name a new file</translation>
    </message>
    <message>
        <source>报告文件 %1 已被删除或移走，之后的行无处可写</source>
        <translation>the report %1 was deleted or moved away; the rows that follow would go nowhere</translation>
    </message>
    <message>
        <source>串口 %1 被占用，在它空出来之前不设置任何设备</source>
        <translation>%1 is busy; no unit is set up on it until it is free</translation>
    </message>
    <message>
        <source>串口 %1 被占用（%2），在它空出来之前不设置任何设备</source>
        <translation>%1 is busy (%2); no unit is set up on it until it is free</translation>
    </message>
    <message>
        <source>串口 %1 不是串口设备，生产模式已停止</source>
        <translation>%1 is not a serial port; production mode has stopped</translation>
    </message>
    <message>
        <source>“%1”不是串口（应为 COM1 到 COM20，或设备路径）</source>
        <translation>&apos;%1&apos; is no port (COM1 to COM20, or a device path)</translation>
    </message>
    <message>
        <source>指向 %1 的链接，那里什么也没有</source>
        <translation>a link to %1, which is not there</translation>
    </message>
    <message>
        <source>被 %1 占用</source>
        <translation>held by %1</translation>
    </message>
    <message>
        <source>找不到主机 %1（%2）：请检查网络串口的名字和网络。</source>
        <translation>the host %1 is not known (%2): check the network port&apos;s name and the network</translation>
    </message>
    <message>
        <source>%1 上没有服务在监听：请检查串口服务器是否在运行，端口号是否正确。</source>
        <translation>nothing listens at %1: check that the serial device server runs and that the port number is right</translation>
    </message>
    <message>
        <source>%1 在 %2 秒内没有接受连接：请检查网络和串口服务器。</source>
        <translation>%1 did not take a connection within %2 s: check the network and the serial device server</translation>
    </message>
    <message>
        <source>无法连接 %1（%2）：请检查网络和串口服务器。</source>
        <translation>cannot connect to %1 (%2): check the network and the serial device server</translation>
    </message>
    <message>
        <source>串口服务器 %1 断开了连接：它可能停止了，或者网络断了。</source>
        <translation>the serial device server %1 closed the connection: it may have stopped, or the network is down</translation>
    </message>
    <message>
        <source>串口服务器 %1 正在为另一个客户端服务：请先结束那个连接，再试一次。</source>
        <translation>the serial device server %1 serves another client: end that connection and try again</translation>
    </message>
    <message>
        <source>服务器 %1 不允许设置串口；如果它的串口已设为 9600 8N1，请改用 socket://。</source>
        <translation>the server %1 does not let us set the line; use socket:// if its line is set to 9600 8N1</translation>
    </message>
    <message>
        <source>服务器 %1 没有把串口设成 %2：请检查它的设置。</source>
        <translation>the server %1 did not set its line to %2: check its settings</translation>
    </message>
    <message>
        <source>“%1”：IPv6 地址要写在方括号里，后面是冒号和端口号</source>
        <translation>&apos;%1&apos;: an IPv6 address goes in brackets, then a colon and the port</translation>
    </message>
    <message>
        <source>“%1”缺少端口号（主机:端口）</source>
        <translation>&apos;%1&apos; has no port number (HOST:PORT)</translation>
    </message>
    <message>
        <source>“%1”缺少主机名</source>
        <translation>&apos;%1&apos; has no host</translation>
    </message>
    <message>
        <source>“%1”的端口号应为 1 到 65535</source>
        <translation>&apos;%1&apos;: the port number must be 1 to 65535</translation>
    </message>
    <message>
        <source>；一次合格率 %1%（%2/%3）</source>
        <translation>; first-pass yield %1% (%2/%3)</translation>
    </message>
    <message>
        <source>；每小时 %1 台</source>
        <translation>; %1 units an hour</translation>
    </message>
    <message>
        <source>扫描的序列号是空的</source>
        <translation>the scanned serial number is empty</translation>
    </message>
    <message>
        <source>%1 不是本工位的端口</source>
        <translation>%1 is not one of this station&apos;s ports</translation>
    </message>
    <message>
        <source>%1 是旧格式的工位报告，没有序列号、操作员和批号的列；请另选一个新文件</source>
        <translation>%1 is a station report of the first format, without columns for serial numbers, operators and lots; choose a new file</translation>
    </message>
    <message>
        <source>操作员：</source>
        <translation>Operator:</translation>
    </message>
    <message>
        <source>批号：</source>
        <translation>Lot:</translation>
    </message>
    <message>
        <source>每台设备先扫描序列号</source>
        <translation>Scan each unit&apos;s serial number first</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>已扫描 %1</source>
        <translation>Scanned %1</translation>
    </message>
    <message>
        <source>序列号不能用：%1，请重新扫描</source>
        <translation>Serial number refused: %1; scan again</translation>
    </message>
    <message>
        <source>（这个序列号之前设置过：第 %1 台）</source>
        <translation> (this serial number was set up before: unit %1)</translation>
    </message>
    <message>
        <source>请扫描设备的序列号</source>
        <translation>Scan the unit&apos;s serial number</translation>
    </message>
    <message>
        <source>请先选择报告文件，再扫描</source>
        <translation>Choose the report file first, then scan</translation>
    </message>
    <message>
        <source>操作员或批号：%1</source>
        <translation>operator or lot: %1</translation>
    </message>
    <message>
        <source>长度超过 %1 个字符</source>
        <translation>longer than %1 characters</translation>
    </message>
    <message>
        <source>含有控制字符</source>
        <translation>holds control characters</translation>
    </message>
    <message>
        <source>以 %1 开头，表格程序会把它当作公式</source>
        <translation>begins with %1, which a spreadsheet would take for a formula</translation>
    </message>
    <message>
        <source>含有不是 UTF-8 文本的字节</source>
        <translation>holds bytes that are not UTF-8 text</translation>
    </message>
    <message>
        <source>串口 %1 上的设备没有扫描序列号，没有设置</source>
        <translation>The unit on %1 was never scanned, so it was not set up</translation>
    </message>
    <message>
        <source>设置完毕，请取下设备</source>
        <translation>Set up: take the unit away</translation>
    </message>
    <message>
        <source>“%1”含有空白或控制字符</source>
        <translation>&apos;%1&apos; holds a space or a control character</translation>
    </message>
    <message>
        <source>“%1”：网络串口的名字里不能有用户名（@）</source>
        <translation>&apos;%1&apos;: a network port&apos;s name holds no user name (@)</translation>
    </message>
    <message>
        <source>“%1”：方括号里只能写 IPv6 地址</source>
        <translation>&apos;%1&apos;: only an IPv6 address goes in brackets</translation>
    </message>
    <message>
        <source>JUnit 文件：%1</source>
        <translation>JUnit file %1</translation>
    </message>
    <message>
        <source>记住的网络串口 %1 没有应答：%2</source>
        <translation>The remembered network port %1 did not answer: %2</translation>
    </message>
    <message numerus="yes">
        <source>报告共 %n 台：合格 %1，不合格 %2，错误 %3</source>
        <translation>
            <numerusform>The report holds %n unit: %1 passed, %2 failed, %3 with an error</numerusform>
            <numerusform>The report holds %n units: %1 passed, %2 failed, %3 with an error</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>；重复设置 %n 台</source>
        <translation>
            <numerusform>; %n set up more than once</numerusform>
            <numerusform>; %n set up more than once</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>已检 %n 台：合格 %1，不合格 %2</source>
        <translation>
            <numerusform>%n unit: %1 passed, %2 failed</numerusform>
            <numerusform>%n units: %1 passed, %2 failed</numerusform>
        </translation>
    </message>
    <message>
        <source>请选择或输入报告文件（已有的报告会接着写入）</source>
        <translation>Choose or type a report file (an existing report is continued)</translation>
    </message>
    <message>
        <source>设备路径“%1”里有空白或控制字符</source>
        <translation>the device path “%1” has a blank or a control character in it</translation>
    </message>
    <message>
        <source>“%1”：主机名只能有字母、数字、点、连字符和下划线</source>
        <translation>“%1”: a host name has only letters, digits, dots, hyphens and underscores</translation>
    </message>
    <message numerus="yes">
        <source>全线各工位同期共 %n 台：合格 %1，不合格 %2，错误 %3</source>
        <translation>
            <numerusform>The whole line, every station, over the same time: %n unit: %1 passed, %2 failed, %3 with an error</numerusform>
            <numerusform>The whole line, every station, over the same time: %n units: %1 passed, %2 failed, %3 with an error</numerusform>
        </translation>
    </message>
    <message>
        <source>可不填：全线的 PostgreSQL 数据库，如 postgresql://station@db/line 或 service=line7</source>
        <translation>Optional: the line&apos;s PostgreSQL database, such as postgresql://station@db/line or service=line7</translation>
    </message>
    <message>
        <source>数据库：</source>
        <translation>Database:</translation>
    </message>
    <message>
        <source>数据库：%1</source>
        <translation>Database: %1</translation>
    </message>
    <message>
        <source>数据库不能用：
%1</source>
        <translation>The database cannot be used:
%1</translation>
    </message>
    <message>
        <source>数据库：正在连接 %1</source>
        <translation>Database: connecting to %1</translation>
    </message>
    <message>
        <source>全线：正在读取…</source>
        <translation>The whole line: reading…</translation>
    </message>
    <message numerus="yes">
        <source>数据库还有 %n 行没有写入（它们在报告中）：%1。数据库能用时，用 kv306ctl upload &quot;%2&quot; --store URL 发送</source>
        <translation>
            <numerusform>%n row has not reached the database (it is in the report): %1. Once the database can be reached, send it with kv306ctl upload &quot;%2&quot; --store URL</numerusform>
            <numerusform>%n rows have not reached the database (they are in the report): %1. Once the database can be reached, send them with kv306ctl upload &quot;%2&quot; --store URL</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>数据库不能写入，%n 行在报告中等待，会自动重试：%1</source>
        <translation>
            <numerusform>The database does not take the rows; %n row waits in the report and is sent again on its own: %1</numerusform>
            <numerusform>The database does not take the rows; %n rows wait in the report and are sent again on their own: %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>数据库：正在写入，%n 行等待</source>
        <translation>
            <numerusform>Database: sending, %n row waiting</numerusform>
            <numerusform>Database: sending, %n rows waiting</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>数据库：已写入 %n 行</source>
        <translation>
            <numerusform>Database: %n row sent</numerusform>
            <numerusform>Database: %n rows sent</numerusform>
        </translation>
    </message>
    <message>
        <source>全线：读不到数据库（%1）</source>
        <translation>The whole line: the database cannot be read (%1)</translation>
    </message>
    <message>
        <source>安全连接没有建立</source>
        <translation>No secure connection</translation>
    </message>
    <message>
        <source>%1 的证书由“%2”签发，不是信任的证书机构签发的：请用 --tls-ca 指定签发它的 CA 文件（窗口：工具 → TLS 证书…）。</source>
        <translation>the certificate of %1 is signed by &quot;%2&quot;, not by an authority we trust: name the CA file that signed it with --tls-ca (in the window: Tools → TLS certificates…)</translation>
    </message>
    <message>
        <source>%1 的证书是给 %2 的，不是给 %3 的：请用证书里的名字连接，或为它换一张证书。</source>
        <translation>the certificate of %1 is for %2, not %3: connect by a name it holds, or give the server a certificate for this one</translation>
    </message>
    <message>
        <source>%1 的证书已于 %2 过期（有效期 %3 至 %2）：请为串口服务器换一张新证书。</source>
        <translation>the certificate of %1 expired on %2 (valid from %3 to %2): give the serial device server a new certificate</translation>
    </message>
    <message>
        <source>%1 的证书从 %2 起才有效（有效期 %2 至 %3）：请检查本机和串口服务器的时间。</source>
        <translation>the certificate of %1 is valid from %2 only (until %3): check the clocks of this computer and of the server</translation>
    </message>
    <message>
        <source>%1 要求本机出示客户端证书，但没有设置：请用 --tls-cert 和 --tls-key 指定（窗口：工具 → TLS 证书…）。</source>
        <translation>%1 asks for a client certificate and none is set: name ours with --tls-cert and --tls-key (in the window: Tools → TLS certificates…)</translation>
    </message>
    <message>
        <source>%1 拒绝了本机的客户端证书：请使用串口服务器信任的 CA 签发的证书。</source>
        <translation>%1 refused our client certificate: use one signed by an authority the server trusts</translation>
    </message>
    <message>
        <source>%1 不使用 TLS（是普通的串口服务器）：请确认它的设置；如果确实不加密，请改用 %2。</source>
        <translation>%1 does not use TLS (a plain serial device server): check its settings; if it is meant to be plain, use %2</translation>
    </message>
    <message>
        <source>%1 在 %2 秒内没有完成 TLS 握手：请检查网络和串口服务器的 TLS 设置。</source>
        <translation>%1 did not finish the TLS handshake within %2 s: check the network and the server&apos;s TLS settings</translation>
    </message>
    <message>
        <source>与 %1 的 TLS 连接没有建立（%2）：请检查串口服务器的 TLS 设置。</source>
        <translation>no TLS connection to %1 (%2): check the serial device server&apos;s TLS settings</translation>
    </message>
    <message>
        <source>%1 使用 TLS，不能用不加密的 %2 连接：请改用 %3。</source>
        <translation>%1 uses TLS: use %3, not the plain %2</translation>
    </message>
    <message>
        <source>TLS 证书(&amp;S)…</source>
        <translation>TLS &amp;certificates…</translation>
    </message>
    <message>
        <source>TLS 证书</source>
        <translation>TLS certificates</translation>
    </message>
    <message>
        <source>用于 rfc2217+tls:// 和 socket+tls:// 串口：串口服务器的证书要由信任的证书机构签发，名字要与串口名里的主机相同。</source>
        <translation>For rfc2217+tls:// and socket+tls:// ports: the serial device server&apos;s certificate must be signed by a trusted authority and hold the host of the port&apos;s name.</translation>
    </message>
    <message>
        <source>CA 文件：</source>
        <translation>CA file:</translation>
    </message>
    <message>
        <source>本机证书：</source>
        <translation>Our certificate:</translation>
    </message>
    <message>
        <source>本机私钥：</source>
        <translation>Our key:</translation>
    </message>
    <message>
        <source>不填：使用系统信任的证书机构</source>
        <translation>Empty: the system&apos;s trusted authorities</translation>
    </message>
    <message>
        <source>串口服务器要求客户端证书时填写</source>
        <translation>For a server that asks for a client certificate</translation>
    </message>
    <message>
        <source>与本机证书配套，只有本用户可读</source>
        <translation>The certificate&apos;s key, readable by this user alone</translation>
    </message>
    <message>
        <source>选择…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>证书和私钥 (*.pem *.crt *.key *.cer);;所有文件 (*)</source>
        <translation>Certificates and keys (*.pem *.crt *.key *.cer);;All files (*)</translation>
    </message>
    <message>
        <source>TLS 证书不能用：
%1</source>
        <translation>The TLS certificates cannot be used:
%1</translation>
    </message>
    <message>
        <source>“%1”不是网络串口（应为 rfc2217://主机:端口 或 socket://主机:端口，加密的为 rfc2217+tls:// 或 socket+tls://）</source>
        <translation>&apos;%1&apos; is no network port (rfc2217://HOST:PORT or socket://HOST:PORT, over TLS rfc2217+tls:// or socket+tls://)</translation>
    </message>
</context>
</TS>
