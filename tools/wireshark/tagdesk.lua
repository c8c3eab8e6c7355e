-- tagdesk.lua: Wireshark 4.x dissectors for the tag desk tools' traffic.
--
--   tagnet     the network frame ('Q','V','R','F') on UDP, in its three
--              dialects: the listening dialect (codes 0x20..0x2C), the direct
--              dialect (0x01..0x10) and the legacy console's older variant of it.
--   tagserial  the serial configuration frame ('Q','V','N','R') captured as
--              pcap with link type DLT_USER0 (147) and a one-byte direction
--              header (0 = PC to reader, 1 = reader to PC); frames are
--              reassembled from the byte stream, the legacy settings tool's
--              older dialect (CRC low byte first) included.
--
-- Install: copy this file into Wireshark's personal plugin folder, or run
--   tshark -X lua_script:tools/wireshark/tagdesk.lua -r capture.pcap
-- docs/wireshark.md lists the fields.

local bit = bit32

---------------------------------------------------------------------------
-- Shared helpers
---------------------------------------------------------------------------

-- CRC-16/MODBUS (reflected 0xA001, initial 0xFFFF, no final XOR), table driven.
local crcTable = {}
for i = 0, 255 do
    local c = i
    for _ = 1, 8 do
        if bit.band(c, 1) == 1 then
            c = bit.bxor(bit.rshift(c, 1), 0xA001)
        else
            c = bit.rshift(c, 1)
        end
    end
    crcTable[i] = c
end

local function crc16(s, first, last)
    local crc = 0xFFFF
    for i = first, last do
        crc = bit.bxor(bit.rshift(crc, 8), crcTable[bit.band(bit.bxor(crc, s:byte(i)), 0xFF)])
    end
    return crc
end

local function be16(s, i) return s:byte(i) * 256 + s:byte(i + 1) end
local function be32(s, i) return ((s:byte(i) * 256 + s:byte(i + 1)) * 256 + s:byte(i + 2)) * 256 + s:byte(i + 3) end
local function s8(v) if v >= 128 then return v - 256 end return v end

local checksumStatus = { [0] = "Bad", [1] = "Good", [2] = "Unverified" }
local csBad, csGood, csUnverified = 0, 1, 2

-- The CRC of a frame held in s (total bytes): over the length field and the payload.
local function crcOf(s, total) return crc16(s, 9, total) end

-- A zero-padded text field in the reader's code page (GBK), shown up to its first zero.
local function addText(tree, field, range)
    return tree:add(field, range, range:stringz(ENC_GB18030))
end

-- True when s holds bytes above 0x7F and they form valid UTF-8.
local function isUtf8(s)
    local i, n, wide = 1, #s, false
    while i <= n do
        local c = s:byte(i)
        local more = c < 0x80 and 0 or (c >= 0xC2 and c <= 0xDF) and 1 or (c >= 0xE0 and c <= 0xEF) and 2
            or (c >= 0xF0 and c <= 0xF4) and 3 or -1
        if more < 0 or i + more > n then return false end
        for k = 1, more do
            local b = s:byte(i + k)
            if b < 0x80 or b > 0xBF then return false end
        end
        wide = wide or more > 0
        i = i + more + 1
    end
    return wide
end

-- The WIFI SSID: the configuration tool writes a text with bytes above 0x80
-- converted to UTF-8, so a field that reads as UTF-8 is shown as such, and
-- as GBK otherwise.
local function addSsid(tree, field, range)
    local raw = range:raw()
    local zero = raw:find("\0", 1, true)
    if zero then raw = raw:sub(1, zero - 1) end
    if isUtf8(raw) then
        return tree:add(field, range, range:stringz(ENC_UTF_8))
    end
    return addText(tree, field, range)
end

local baudNames = { [0] = "9600", [1] = "19200", [2] = "38400", [3] = "57600", [4] = "115200", [255] = "none" }

---------------------------------------------------------------------------
-- tagnet: the network frame
---------------------------------------------------------------------------

local tagnet = Proto("tagnet", "Tag desk network frame")

local stateNames = {
    [0] = "normal",
    [1] = "antenna not connected",
    [2] = "substation absent",
    [3] = "normal, reader congested",
}
local stateMeaning = function(v) return stateNames[v] or "other fault" end

local lampNames = {
    [0] = "green lamp",
    [1] = "green lamp and buzzer",
    [2] = "red lamp",
    [3] = "red lamp and buzzer",
    [4] = "green and red lamps",
    [5] = "green and red lamps and buzzer",
    [255] = "stop",
}

-- Command codes: name, what the Info column says, payload decoder key.
local listenCodes = {
    [0x20] = { "netCodeLoginReq", "Login request", "loginName" },
    [0x21] = { "netCodeLoginAck", "Login ack", "loginAckListen" },
    [0x22] = { "netCodeAuthReq", "Auth request", "authReq" },
    [0x23] = { "netCodeAuthAck", "Auth ack", "authAck" },
    [0x24] = { "netCodeLabelReport", "Tag report", "reportLead" },
    [0x25] = { "netCodeHeartBeatReq", "Heartbeat", "statesLead" },
    [0x26] = { "netCodeHeartBeatAck", "Heartbeat ack", "empty" },
    [0x27] = { "netCodeLabelAlarm", "Call", "alarm" },
    [0x28] = { "netCodeLabelAlarmAck", "Call ack", "answer" },
    [0x29] = { "netCodeLabelAlarmRej", "Call rejected", "answer" },
    [0x2A] = { "netCodeSms", "Short message", "sms" },
    [0x2B] = { "netCodeSmsAck", "Short message ack", "answer" },
    [0x2C] = { "netCodeSmsRej", "Short message rejected", "answer" },
}
local directCodes = {
    [0x01] = { "devCmdLogin", "Login", "login" },
    [0x02] = { "devCmdLoginAck", "Login ack", "loginAckDirect" },
    [0x03] = { "devCmdLabelReport", "Tag report", "reportByVersion" },
    [0x04] = { "devCmdHeartBeat", "Heartbeat", "empty" },
    [0x05] = { "devCmdHeartBeatAck", "Heartbeat ack", "states" },
    [0x06] = { "devCmdLabelAlarm", "Call", "alarm" },
    [0x07] = { "devCmdLabelAlarmAck", "Call ack", "answer" },
    [0x08] = { "devCmdLabelAlarmRej", "Call rejected", "answer" },
    [0x09] = { "devCmdSms", "Short message", "sms" },
    [0x0A] = { "devCmdSmsAck", "Short message ack", "answer" },
    [0x0B] = { "devCmdSmsRej", "Short message rejected", "answer" },
    [0x0F] = { "devCmdLinkReq", "Link request", "statesLead" },
    [0x10] = { "devCmdLinkAck", "Link ack", "empty" },
}

local nf = {
    magic = ProtoField.string("tagnet.magic", "Magic"),
    version = ProtoField.uint8("tagnet.version", "Version", base.DEC),
    code = ProtoField.uint8("tagnet.code", "Code", base.HEX),
    code_name = ProtoField.string("tagnet.code.name", "Code name"),
    crc = ProtoField.uint16("tagnet.crc", "CRC", base.HEX),
    crc_status = ProtoField.uint8("tagnet.crc.status", "CRC status", base.DEC, checksumStatus),
    length = ProtoField.uint16("tagnet.length", "Payload length", base.DEC),
    dialect = ProtoField.string("tagnet.dialect", "Dialect"),
    reader_version = ProtoField.string("tagnet.reader_version", "Reader version (from the login ack)"),
    login_name = ProtoField.string("tagnet.login.name", "Login name"),
    login_password = ProtoField.string("tagnet.login.password", "Login password"),
    login_end = ProtoField.uint8("tagnet.login.end", "Login end byte", base.HEX),
    result = ProtoField.uint16("tagnet.result", "Result", base.DEC),
    challenge = ProtoField.bytes("tagnet.challenge", "Challenge"),
    md5 = ProtoField.bytes("tagnet.auth.md5", "MD5 answer"),
    auth_result = ProtoField.uint8("tagnet.auth.result", "Auth result", base.DEC,
        { [0] = "accepted", [4] = "rejected" }),
    auth_fixed = ProtoField.bytes("tagnet.auth.fixed", "Fixed bytes"),
    reader_id = ProtoField.uint32("tagnet.reader_id", "Leading bytes (reader ID)", base.DEC),
    substation = ProtoField.uint8("tagnet.substation", "Substation", base.DEC),
    tag_id = ProtoField.uint32("tagnet.tag_id", "Tag ID", base.DEC),
    status = ProtoField.uint8("tagnet.status", "Status", base.HEX),
    low_voltage = ProtoField.bool("tagnet.low_voltage", "Low voltage", 8, nil, 0x01),
    extra_count = ProtoField.uint8("tagnet.extra_count", "Extra data bytes", base.DEC, nil, 0xE0),
    extra = ProtoField.bytes("tagnet.extra", "Extra data"),
    rssi = ProtoField.int8("tagnet.rssi", "RSSI (dB)", base.DEC),
    state_count = ProtoField.uint8("tagnet.state_count", "Substation states", base.DEC),
    state = ProtoField.uint8("tagnet.state", "Substation state", base.DEC),
    repeat_byte = ProtoField.uint8("tagnet.alarm.repeat", "Repeat", base.DEC, { [5] = "call", [1] = "stop" }),
    lamp_mode = ProtoField.uint8("tagnet.lamp_mode", "Lamp mode", base.DEC, lampNames),
    sms_number = ProtoField.uint16("tagnet.sms.number", "Message number", base.DEC),
    sms_time = ProtoField.string("tagnet.sms.time", "Time stamp"),
    sms_length = ProtoField.uint8("tagnet.sms.length", "Text length", base.DEC),
    sms_text = ProtoField.string("tagnet.sms.text", "Text", base.UNICODE),
    sms_padding = ProtoField.bytes("tagnet.sms.padding", "Padding"),
    answer = ProtoField.bytes("tagnet.answer", "Answer bytes"),
    trailing = ProtoField.bytes("tagnet.trailing", "Bytes beyond the layout"),
}
tagnet.fields = nf

local ne = {
    crc = ProtoExpert.new("tagnet.crc.bad", "CRC mismatch", expert.group.CHECKSUM, expert.severity.WARN),
    length = ProtoExpert.new("tagnet.length.wrong", "Length field disagrees with the datagram",
        expert.group.MALFORMED, expert.severity.WARN),
    short = ProtoExpert.new("tagnet.payload.short", "Payload shorter than its layout",
        expert.group.MALFORMED, expert.severity.WARN),
    dialect = ProtoExpert.new("tagnet.dialect.unsettled", "Dialect not settled by the capture",
        expert.group.SEQUENCE, expert.severity.NOTE),
    layout = ProtoExpert.new("tagnet.report.layout", "Report layout taken from the report's length",
        expert.group.ASSUMPTION, expert.severity.NOTE),
    ignored = ProtoExpert.new("tagnet.report.ignored", "The consoles ignore this report",
        expert.group.PROTOCOL, expert.severity.NOTE),
}
tagnet.experts = { ne.crc, ne.length, ne.short, ne.dialect, ne.layout, ne.ignored }

-- Values on the command line: -o tagnet.dialect:legacy (auto, listen, direct, legacy).
local dialectPref = { { 1, "auto", 0 }, { 2, "listen", 1 }, { 3, "direct", 2 }, { 4, "legacy", 3 } }
local forcedDialect = { [0] = nil, [1] = "listen", [2] = "direct", [3] = "legacy" }
tagnet.prefs.dialect = Pref.enum("Dialect", 0,
    "Decode every frame in this dialect instead of telling it from the capture", dialectPref, false)
tagnet.prefs.reader_version = Pref.uint("Direct reader version", 0,
    "Version of the direct-dialect reader when the capture holds no login ack (0: unknown)")

-- Per capture: per conversation what the capture has shown so far, and per
-- frame what was known when it was first dissected (packets are met in
-- order on the first pass only).
local conversations, frameState = {}, {}

local function conversationKey(pinfo)
    local a = tostring(pinfo.src) .. ":" .. pinfo.src_port
    local b = tostring(pinfo.dst) .. ":" .. pinfo.dst_port
    if a < b then return a .. "-" .. b end
    return b .. "-" .. a
end

-- What a direct-family frame shows of its own dialect, or nil.
local function ownDialect(code, version, s, L)
    if code == 0x01 then
        if L == 33 then return "direct" end
        if L == 32 then return "legacy" end
        if version == 4 then return "direct" end
        if version == 0 then return "legacy" end
    elseif code == 0x02 then
        if L == 1 then return "direct" end
        if L == 2 then return "legacy" end
    elseif code == 0x04 then
        if version == 2 then return "direct" end
        if version == 0 then return "legacy" end
    elseif code == 0x06 then
        if version == 4 then return "direct" end
    elseif code == 0x09 then
        if version == 4 then return "direct" end
        if L >= 14 then
            local n = s:byte(24)
            if L == 124 and n < 110 then return "legacy" end
            if L == 14 + n and n ~= 110 then return "direct" end
        end
    elseif code == 0x0F or code == 0x10 then
        return "direct"
    end
    return nil
end

-- First pass: settle the dialect and the direct reader's version.
local function settle(pinfo, s, code, version, L)
    local key = conversationKey(pinfo)
    local conv = conversations[key]
    if not conv then
        conv = {}
        conversations[key] = conv
    end
    local st = {}
    if code >= 0x20 and code <= 0x2C then
        st.dialect = "listen"
    elseif code >= 0x01 and code <= 0x10 then
        local own = ownDialect(code, version, s, L)
        if own and (code == 0x01 or not conv.dialect) then
            conv.dialect = own
        end
        st.dialect = conv.dialect or "unknown"
        st.own = own
        if st.dialect == "direct" then
            if code == 0x02 and L >= 1 and s:byte(11) == 0 then
                conv.readerVersion = version
            elseif code == 0x0F and not conv.readerVersion then
                conv.versionHint = 4  -- link requests come from readers of version 4 on
            elseif code == 0x04 and not conv.readerVersion then
                conv.versionHint = 2  -- heartbeats go to readers below version 4
            end
        end
        st.readerVersion = conv.readerVersion
        st.versionHint = conv.versionHint
    else
        st.dialect = "unknown"
    end
    return st
end

-- Payload decoders: each gets (tree, tvb, p, L, ctx) with p the payload's
-- offset in the tvb and L the payload bytes present; returns the Info text
-- after the command's caption.

local function needs(ctx, L, n)
    if L < n then
        ctx.tree:add_proto_expert_info(ne.short, string.format("Payload of %d bytes, the layout needs %d", L, n))
        return false
    end
    return true
end

local function addStates(tree, tvb, at, L, ctx)
    if not needs(ctx, L, at - ctx.p + 1) then return "" end
    local n = tvb(at, 1):uint()
    tree:add(nf.state_count, tvb(at, 1))
    local shown = math.min(n, ctx.p + L - at - 1)
    local list = {}
    for i = 0, shown - 1 do
        local v = tvb(at + 1 + i, 1):uint()
        tree:add(nf.state, tvb(at + 1 + i, 1)):set_text(
            string.format("Substation %d: %d (%s)", i, v, stateMeaning(v)))
        list[#list + 1] = tostring(v)
    end
    if shown < n then
        tree:add_proto_expert_info(ne.short, string.format("%d states announced, %d present", n, shown))
    end
    return string.format(" states=%s", table.concat(list, ","))
end

-- One tag report whose tag fields start at `at`.
local function addReport(tree, tvb, at, L, ctx)
    local p = ctx.p
    if not needs(ctx, L, at - p + 7) then return "" end
    local sub = tvb(at, 1):uint()
    local id = tvb(at + 1, 4):uint()
    local status = tvb(at + 5, 1):uint()
    local n = bit.rshift(status, 5)
    tree:add(nf.substation, tvb(at, 1))
    tree:add(nf.tag_id, tvb(at + 1, 4))
    local st = tree:add(nf.status, tvb(at + 5, 1))
    st:add(nf.low_voltage, tvb(at + 5, 1))
    st:add(nf.extra_count, tvb(at + 5, 1))
    local avail = p + L - 1 - (at + 6)  -- bytes between the status and the RSSI
    if avail < n then
        tree:add_proto_expert_info(ne.short, string.format("%d extra bytes announced, %d present", n, math.max(avail, 0)))
    end
    if n > 0 and avail > 0 then tree:add(nf.extra, tvb(at + 6, math.min(n, avail))) end
    if avail > n then tree:add(nf.trailing, tvb(at + 6 + n, avail - n)) end
    local rssi = tvb(p + L - 1, 1):int()
    tree:add(nf.rssi, tvb(p + L - 1, 1))
    if sub > 33 or status == 0x0E then
        tree:add_proto_expert_info(ne.ignored, sub > 33 and "Substation above 33" or "Status byte 0x0E")
    end
    local text = string.format(" id=%d sub=%d rssi=%d", id, sub, rssi)
    if bit.band(status, 1) == 1 then text = text .. " lowv" end
    if n > 0 then text = text .. " extra=" .. n end
    return text
end

local function addSms(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 14) then return "" end
    tree:add(nf.substation, tvb(p, 1))
    tree:add(nf.tag_id, tvb(p + 1, 4))
    tree:add(nf.sms_number, tvb(p + 5, 2))
    local t = tvb(p + 7, 6)
    tree:add(nf.sms_time, t, string.format("%04d-%02d-%02d %02d:%02d:%02d", 2020 + t(0, 1):uint(),
        t(1, 1):uint(), t(2, 1):uint(), t(3, 1):uint(), t(4, 1):uint(), t(5, 1):uint()))
    tree:add(nf.sms_length, tvb(p + 13, 1))
    local n = tvb(p + 13, 1):uint()
    local present = math.min(n, L - 14)
    if present < n then
        tree:add_proto_expert_info(ne.short, string.format("Text of %d bytes announced, %d present", n, present))
    end
    local text = ""
    if present > 0 then
        tree:add_packet_field(nf.sms_text, tvb(p + 14, present), ENC_GB18030)
        text = tvb(p + 14, present):string(ENC_GB18030)
    end
    if L > 14 + present then tree:add(nf.sms_padding, tvb(p + 14 + present, L - 14 - present)) end
    return string.format(" id=%d sub=%d no=%d \"%s\"", tvb(p + 1, 4):uint(), tvb(p, 1):uint(),
        tvb(p + 5, 2):uint(), text)
end

local decoders = {}

decoders.empty = function() return "" end

decoders.answer = function(tree, tvb, p, L)
    if L > 0 then tree:add(nf.answer, tvb(p, L)) end
    if L >= 5 then return string.format(" id=%d sub=%d", tvb(p + 1, 4):uint(), tvb(p, 1):uint()) end
    return ""
end

decoders.loginName = function(tree, tvb, p, L)
    if L == 0 then return "" end
    addText(tree, nf.login_name, tvb(p, L))
    return " name=" .. tvb(p, L):stringz()
end

decoders.login = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 32) then return "" end
    addText(tree, nf.login_name, tvb(p, 16))
    addText(tree, nf.login_password, tvb(p + 16, 16))
    if L >= 33 then tree:add(nf.login_end, tvb(p + 32, 1)) end
    if L > 33 then tree:add(nf.trailing, tvb(p + 33, L - 33)) end
    return " name=" .. tvb(p, 16):stringz()
end

decoders.loginAckListen = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 1) then return "" end
    local r = tvb(p, 1):uint()
    tree:add(nf.result, tvb(p, 1)):append_text(r == 0 and " (accepted)" or r == 2 and " (device name not accepted)" or "")
    if L >= 257 then tree:add(nf.challenge, tvb(p + 1, 256)) end
    if r == 0 then return " accepted, challenge" end
    return string.format(" refused result=%d", r)
end

decoders.loginAckDirect = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 1) then return "" end
    local width = (ctx.dialect == "legacy" and L >= 2) and 2 or 1
    local r = tvb(p, width):uint()
    tree:add(nf.result, tvb(p, width)):append_text(r == 0 and " (accepted)" or " (refused)")
    if L > width then tree:add(nf.trailing, tvb(p + width, L - width)) end
    local text = r == 0 and " accepted" or string.format(" refused result=%d", r)
    if ctx.dialect == "direct" then text = text .. " version=" .. ctx.version end
    return text
end

decoders.authReq = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 16) then return "" end
    tree:add(nf.md5, tvb(p, 16))
    if L > 16 then tree:add(nf.trailing, tvb(p + 16, L - 16)) end
    return ""
end

decoders.authAck = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 1) then return "" end
    local r = tvb(p, 1):uint()
    tree:add(nf.auth_result, tvb(p, 1))
    if L > 1 then tree:add(nf.auth_fixed, tvb(p + 1, L - 1)) end
    return r == 0 and " accepted" or string.format(" rejected result=%d", r)
end

decoders.reportLead = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 11) then return "" end
    tree:add(nf.reader_id, tvb(p, 4))
    return addReport(tree, tvb, p + 4, L, ctx)
end

-- The direct dialect's report: leading bytes from reader version 4 on.
-- The legacy variant never has them. With no version in the capture the
-- layout whose length fits the status byte is taken, and said so.
decoders.reportByVersion = function(tree, tvb, p, L, ctx)
    local lead
    local version = ctx.readerVersion or ctx.versionHint
    if ctx.dialect == "legacy" then
        lead = false
    elseif version then
        lead = version >= 4
    else
        local fitsShort = L >= 7 and L == 7 + bit.rshift(tvb(p + 5, 1):uint(), 5)
        local fitsLong = L >= 11 and L == 11 + bit.rshift(tvb(p + 9, 1):uint(), 5)
        if fitsShort == fitsLong then
            tree:add_proto_expert_info(ne.layout, "Neither report layout fits unambiguously; not decoded")
            tree:add(nf.answer, tvb(p, L))
            return ""
        end
        lead = fitsLong
        tree:add_proto_expert_info(ne.layout, lead and "No login ack seen: leading bytes assumed (version 4 or later)"
            or "No login ack seen: no leading bytes assumed (version below 4)")
    end
    if lead then return decoders.reportLead(tree, tvb, p, L, ctx) end
    return addReport(tree, tvb, p, L, ctx)
end

decoders.statesLead = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 5) then return "" end
    tree:add(nf.reader_id, tvb(p, 4))
    return addStates(tree, tvb, p + 4, L, ctx)
end

decoders.states = function(tree, tvb, p, L, ctx)
    return addStates(tree, tvb, p, L, ctx)
end

decoders.alarm = function(tree, tvb, p, L, ctx)
    if not needs(ctx, L, 7) then return "" end
    tree:add(nf.substation, tvb(p, 1))
    tree:add(nf.tag_id, tvb(p + 1, 4))
    tree:add(nf.repeat_byte, tvb(p + 5, 1))
    tree:add(nf.lamp_mode, tvb(p + 6, 1))
    local lamp = tvb(p + 6, 1):uint()
    local id, sub = tvb(p + 1, 4):uint(), tvb(p, 1):uint()
    if tvb(p + 5, 1):uint() == 1 and lamp == 0xFF then
        ctx.caption = "Stop call"
        return string.format(" id=%d sub=%d", id, sub)
    end
    return string.format(" id=%d sub=%d lamp=%d (%s)", id, sub, lamp, lampNames[lamp] or "unknown")
end

decoders.sms = addSms

local function dissectTagnet(tvb, pinfo, root)
    local size = tvb:len()
    if size < 10 then return 0 end
    local s = tvb:raw(0, size)
    local version, code = s:byte(5), s:byte(6)
    local L = be16(s, 9)

    local st
    if pinfo.visited then
        st = frameState[pinfo.number]
    end
    if not st then
        st = settle(pinfo, s, code, version, L)
        frameState[pinfo.number] = st
    end
    local dialect = forcedDialect[tagnet.prefs.dialect] or st.dialect
    local readerVersion = st.readerVersion
    if not readerVersion and tagnet.prefs.reader_version > 0 then readerVersion = tagnet.prefs.reader_version end

    pinfo.cols.protocol = "TAGNET"
    local tree = root:add(tagnet, tvb(0, size))
    tree:add(nf.magic, tvb(0, 4))
    tree:add(nf.version, tvb(4, 1))
    local codes = dialect == "listen" and listenCodes or
        ((dialect == "direct" or dialect == "legacy" or dialect == "unknown") and directCodes) or nil
    local entry = codes and codes[code]
    if dialect == "unknown" and not entry and listenCodes[code] then entry = listenCodes[code] end
    local codeItem = tree:add(nf.code, tvb(5, 1))
    if entry then
        codeItem:append_text(" (" .. entry[1] .. ")")
        tree:add(nf.code_name, entry[1]):set_generated()
    end

    -- CRC over the length field and the payload the length field names (as
    -- far as the datagram holds them).
    local crcItem = tree:add(nf.crc, tvb(6, 2))
    local covered = math.min(L + 10, size)
    local computed = crcOf(s, covered)
    local good = computed == be16(s, 7)
    tree:add(nf.crc_status, good and csGood or csBad):set_generated()
    if good then
        crcItem:append_text(" [correct]")
    else
        crcItem:append_text(string.format(" [incorrect, should be 0x%04x]", computed))
        crcItem:add_proto_expert_info(ne.crc, string.format("CRC 0x%04x, computed 0x%04x", be16(s, 7), computed))
    end
    local lenItem = tree:add(nf.length, tvb(8, 2))
    if size ~= L + 10 then
        lenItem:add_proto_expert_info(ne.length, string.format(
            "Length field %d, datagram holds %d payload bytes", L, size - 10))
    end

    local dItem = tree:add(nf.dialect, dialect):set_generated()
    if dialect == "unknown" then
        dItem:add_proto_expert_info(ne.dialect, "No login or other telling frame seen in this conversation")
    end
    if dialect == "direct" and readerVersion then
        tree:add(nf.reader_version, tostring(readerVersion)):set_generated()
    end

    local p, present = 10, math.min(L, size - 10)
    local caption = entry and entry[2] or string.format("Code 0x%02X", code)
    local ctx = { tree = tree, p = p, dialect = dialect, version = version,
        readerVersion = readerVersion, versionHint = st.versionHint, caption = caption }
    local details = ""
    if entry then
        local payload = tree
        if present > 0 then payload = tree:add(tvb(p, present), "Payload") end
        ctx.tree = payload
        details = decoders[entry[3]](payload, tvb, p, present, ctx) or ""
    elseif present > 0 then
        tree:add(nf.answer, tvb(p, present))
    end
    local info = ctx.caption .. details
    if not good then info = info .. " [bad CRC]" end
    if size ~= L + 10 then info = info .. " [wrong length]" end
    pinfo.cols.info = info
    return size
end

function tagnet.dissector(tvb, pinfo, tree)
    if tvb:len() < 10 or tvb(0, 4):string() ~= "QVRF" then return 0 end
    return dissectTagnet(tvb, pinfo, tree)
end

local function heuristicTagnet(tvb, pinfo, tree)
    if tvb:len() < 10 or tvb(0, 4):string() ~= "QVRF" then return false end
    pinfo.conversation = tagnet
    dissectTagnet(tvb, pinfo, tree)
    return true
end

tagnet:register_heuristic("udp", heuristicTagnet)
local udpPorts = DissectorTable.get("udp.port")
udpPorts:add(8800, tagnet)
udpPorts:add(4099, tagnet)

---------------------------------------------------------------------------
-- tagserial: the serial configuration frame
---------------------------------------------------------------------------

local tagserial = Proto("tagserial", "Tag desk serial frame")

local serialCodes = {
    [0x01] = "Read request",
    [0x02] = "Parameter reply",
    [0x03] = "Write request",
    [0x04] = "Write ack",
    [0x07] = "RSSI read",
    [0x08] = "RSSI reply",
    [0x09] = "RSSI write",
    [0x0A] = "RSSI write ack",
}

local modelNames = {
    [1] = "wired, RS485 and two antennas",
    [2] = "wired, one antenna",
    [3] = "WIFI",
    [5] = "domain name",
    [6] = "compact wired",
    [7] = "dual network",
    [52] = "wired, active connection only",
}

local sf = {
    direction = ProtoField.uint8("tagserial.direction", "Direction", base.DEC,
        { [0] = "PC to reader", [1] = "reader to PC" }),
    noise = ProtoField.bytes("tagserial.noise", "Noise (skipped)"),
    fragment = ProtoField.bytes("tagserial.fragment", "Frame fragment"),
    frames = ProtoField.string("tagserial.reassembled_from", "Reassembled from frames"),
    magic = ProtoField.string("tagserial.magic", "Magic"),
    level = ProtoField.uint8("tagserial.level", "Level", base.DEC),
    code = ProtoField.uint8("tagserial.code", "Command", base.HEX, serialCodes),
    crc = ProtoField.uint16("tagserial.crc", "CRC", base.HEX),
    crc_status = ProtoField.uint8("tagserial.crc.status", "CRC status", base.DEC, checksumStatus),
    length = ProtoField.uint16("tagserial.length", "Payload length", base.DEC),
    dialect = ProtoField.string("tagserial.dialect", "Dialect"),
    version_text = ProtoField.string("tagserial.version_text", "Version text"),
    model = ProtoField.uint8("tagserial.model", "Model", base.DEC, modelNames),
    layout = ProtoField.string("tagserial.layout", "Layout"),
    mode = ProtoField.uint8("tagserial.connect_mode", "Connect mode", base.DEC,
        { [0] = "wait for the platform", [1] = "connect to the platform" }),
    name = ProtoField.string("tagserial.name", "Device name"),
    password = ProtoField.string("tagserial.password", "Device password"),
    platform_ip = ProtoField.ipv4("tagserial.platform_ip", "Platform IP address"),
    platform_port = ProtoField.uint16("tagserial.platform_port", "Platform port", base.DEC),
    dhcp = ProtoField.uint8("tagserial.dhcp", "DHCP", base.DEC, { [0] = "off", [1] = "on" }),
    ip = ProtoField.ipv4("tagserial.ip", "IP address"),
    mask = ProtoField.ipv4("tagserial.mask", "Subnet mask"),
    gateway = ProtoField.ipv4("tagserial.gateway", "Default gateway"),
    rs485_baud = ProtoField.uint8("tagserial.rs485_baud", "RS485 baud-rate code", base.DEC, baudNames),
    ant0_baud = ProtoField.uint8("tagserial.antenna0_baud", "Antenna 0 baud-rate code", base.DEC, baudNames),
    ant1_baud = ProtoField.uint8("tagserial.antenna1_baud", "Antenna 1 baud-rate code", base.DEC, baudNames),
    antenna_merge = ProtoField.uint8("tagserial.antenna_merge", "Antenna merge", base.DEC),
    device_id = ProtoField.int32("tagserial.device_id", "Device ID", base.DEC),
    mac = ProtoField.ether("tagserial.mac", "MAC address"),
    ssid = ProtoField.string("tagserial.ssid", "WIFI SSID"),
    wifi_password = ProtoField.string("tagserial.wifi_password", "WIFI password"),
    network = ProtoField.uint8("tagserial.network", "Network", base.DEC, { [0] = "wired", [1] = "WIFI" }),
    wifi_mac = ProtoField.ether("tagserial.wifi.mac", "WIFI MAC address"),
    wifi_dhcp = ProtoField.uint8("tagserial.wifi.dhcp", "WIFI DHCP", base.DEC, { [0] = "off", [1] = "on" }),
    wifi_ip = ProtoField.ipv4("tagserial.wifi.ip", "WIFI IP address"),
    wifi_mask = ProtoField.ipv4("tagserial.wifi.mask", "WIFI subnet mask"),
    wifi_gateway = ProtoField.ipv4("tagserial.wifi.gateway", "WIFI default gateway"),
    domain_enabled = ProtoField.uint8("tagserial.domain_enabled", "Domain name enabled", base.DEC),
    domain = ProtoField.string("tagserial.domain", "Domain name"),
    reserved = ProtoField.uint8("tagserial.reserved", "Reserved byte", base.HEX),
    ignored = ProtoField.bytes("tagserial.ignored", "Ignored bytes"),
    threshold = ProtoField.int8("tagserial.threshold", "RSSI threshold", base.DEC),
    ant1_as_ant0 = ProtoField.uint8("tagserial.ant1_as_ant0", "ANT1 also reads as ANT0", base.DEC),
    payload = ProtoField.bytes("tagserial.payload", "Payload"),
}
tagserial.fields = sf

local se = {
    crc = ProtoExpert.new("tagserial.crc.bad", "CRC mismatch", expert.group.CHECKSUM, expert.severity.WARN),
    short = ProtoExpert.new("tagserial.payload.short", "Payload shorter than its layout",
        expert.group.MALFORMED, expert.severity.WARN),
    model = ProtoExpert.new("tagserial.model.unknown", "Model without a known layout",
        expert.group.UNDECODED, expert.severity.NOTE),
    noise = ProtoExpert.new("tagserial.noise.skipped", "Bytes before a magic skipped",
        expert.group.SEQUENCE, expert.severity.NOTE),
    oversize = ProtoExpert.new("tagserial.oversize", "Header announces more than 1014 payload bytes",
        expert.group.MALFORMED, expert.severity.WARN),
}
se.stale = ProtoExpert.new("tagserial.stale", "Incomplete frame given up after a pause",
    expert.group.SEQUENCE, expert.severity.NOTE)
tagserial.experts = { se.crc, se.short, se.model, se.noise, se.oversize, se.stale }

tagserial.prefs.give_up_ms = Pref.uint("Give up on an incomplete frame after (ms)", 50,
    "Bytes of an incomplete frame are dropped when the next bytes in that direction come later "
    .. "than this, as the configuration tool's frame cutter does (0: never)")

-- Record layouts: { offset, size, field } with offsets into the payload.
local wiredHead = {
    { 17, 1, sf.mode }, { 18, 32, sf.name }, { 50, 32, sf.password }, { 82, 4, sf.platform_ip },
    { 86, 2, sf.platform_port }, { 88, 1, sf.dhcp }, { 89, 4, sf.ip }, { 93, 4, sf.mask }, { 97, 4, sf.gateway },
}
local function join(a, b)
    local t = {}
    for _, x in ipairs(a) do t[#t + 1] = x end
    for _, x in ipairs(b) do t[#t + 1] = x end
    return t
end
local recordLayouts = {
    wired = join(wiredHead, {
        { 101, 1, sf.rs485_baud }, { 102, 1, sf.ant0_baud }, { 103, 1, sf.ant1_baud }, { 104, 1, sf.ignored },
        { 105, 1, sf.antenna_merge }, { 106, 4, sf.device_id }, { 110, 6, sf.mac } }),
    wifi = join(wiredHead, {
        { 101, 1, sf.ignored }, { 102, 1, sf.ant0_baud }, { 103, 3, sf.ignored }, { 106, 32, sf.ssid },
        { 138, 32, sf.wifi_password }, { 170, 4, sf.device_id }, { 174, 6, sf.mac } }),
    compact = {
        { 17, 1, sf.mode }, { 18, 32, sf.name }, { 50, 32, sf.password }, { 82, 4, sf.platform_ip },
        { 86, 2, sf.platform_port }, { 88, 4, sf.device_id }, { 92, 1, sf.dhcp }, { 93, 4, sf.ip },
        { 97, 4, sf.mask }, { 101, 4, sf.gateway }, { 105, 1, sf.reserved }, { 106, 6, sf.mac } },
    domain = {
        { 17, 32, sf.name }, { 49, 32, sf.password }, { 81, 1, sf.domain_enabled }, { 82, 60, sf.domain },
        { 142, 4, sf.platform_ip }, { 146, 2, sf.platform_port }, { 148, 1, sf.ant0_baud }, { 149, 1, sf.reserved } },
    dual = {
        { 17, 1, sf.network }, { 18, 32, sf.ssid }, { 50, 32, sf.wifi_password }, { 82, 6, sf.mac },
        { 88, 1, sf.dhcp }, { 89, 4, sf.ip }, { 93, 4, sf.mask }, { 97, 4, sf.gateway }, { 101, 6, sf.wifi_mac },
        { 107, 1, sf.wifi_dhcp }, { 108, 4, sf.wifi_ip }, { 112, 4, sf.wifi_mask }, { 116, 4, sf.wifi_gateway },
        { 120, 1, sf.mode }, { 121, 32, sf.name }, { 153, 32, sf.password }, { 185, 4, sf.platform_ip },
        { 189, 2, sf.platform_port }, { 191, 4, sf.device_id }, { 195, 1, sf.ant0_baud }, { 196, 1, sf.ignored },
        { 197, 1, sf.reserved } },
}

-- A write payload that is the record from offset 17 on, cut at its length.
local function shifted(layout, size)
    local t = {}
    for _, e in ipairs(layout) do
        if e[1] - 17 + e[2] <= size then t[#t + 1] = { e[1] - 17, e[2], e[3] } end
    end
    return t
end
-- "id_or_ip": the platform address in active mode, the device ID in wait mode.
local writeLayouts = {
    wired = shifted(recordLayouts.wired, 93),
    wifi = shifted(recordLayouts.wifi, 157),
    domain = shifted(recordLayouts.domain, 133),
    compact = {
        { 0, 1, sf.mode }, { 1, 32, sf.name }, { 33, 32, sf.password }, { 65, 4, "id_or_ip" },
        { 69, 2, sf.platform_port }, { 71, 1, sf.dhcp }, { 72, 4, sf.ip }, { 76, 4, sf.mask },
        { 80, 4, sf.gateway }, { 84, 1, sf.reserved } },
    dual = {
        { 0, 1, sf.network }, { 1, 32, sf.ssid }, { 33, 32, sf.wifi_password }, { 65, 1, sf.dhcp },
        { 66, 4, sf.ip }, { 70, 4, sf.mask }, { 74, 4, sf.gateway }, { 78, 1, sf.wifi_dhcp },
        { 79, 4, sf.wifi_ip }, { 83, 4, sf.wifi_mask }, { 87, 4, sf.wifi_gateway }, { 91, 1, sf.mode },
        { 92, 32, sf.name }, { 124, 32, sf.password }, { 156, 4, "id_or_ip" }, { 160, 2, sf.platform_port },
        { 162, 1, sf.ant0_baud }, { 163, 1, sf.reserved } },
}
-- The mode byte that picks between the device ID and the platform address.
local writeModeOffset = { compact = 0, dual = 91 }

local modelLayout = { [1] = "wired", [2] = "wired", [52] = "wired", [3] = "wifi", [5] = "domain",
    [6] = "compact", [7] = "dual" }
local writeSizeLayout = { [93] = "wired", [157] = "wifi", [133] = "domain", [85] = "compact", [164] = "dual" }

local function addLayout(tree, tvb, p, N, layout, modeOffset)
    for _, e in ipairs(layout) do
        local off, size, field = e[1], e[2], e[3]
        if off + size > N then
            tree:add_proto_expert_info(se.short, string.format("Payload of %d bytes ends before offset %d", N, off + size))
            return
        end
        if field == "id_or_ip" then
            local mode = tvb(p + modeOffset, 1):uint()
            field = mode == 1 and sf.platform_ip or sf.device_id
        end
        if field == sf.ssid then
            addSsid(tree, field, tvb(p + off, size))
        elseif field == sf.name or field == sf.password or field == sf.wifi_password or field == sf.domain then
            addText(tree, field, tvb(p + off, size))
        else
            tree:add(field, tvb(p + off, size))
        end
    end
end

-- Per capture: the serial link's state on the first pass, per frame what was found.
local serialLink, serialFrames

local function resetSerial()
    serialLink = { pending = { [0] = "", [1] = "" }, pendingFrames = { [0] = {}, [1] = {} },
        lastTime = { [0] = 0, [1] = 0 },
        model = nil, dialect = nil }
    serialFrames = {}
end
resetSerial()

local function resetAll()
    conversations, frameState = {}, {}
    resetSerial()
end
function tagnet.init() resetAll() end
function tagserial.init() resetAll() end

local magic = "QVNR"

-- The longest tail of s that is a proper prefix of the magic.
local function magicPrefixTail(s)
    for k = 3, 1, -1 do
        if #s >= k and s:sub(-k) == magic:sub(1, k) then return k end
    end
    return 0
end

-- First pass over one packet's bytes in one direction: what they hold.
-- Items: { kind = "noise"|"frame"|"fragment", off, len (in this packet), bytes (frame), from (frames) }.
local function cutSerial(dir, data, number, time)
    local items = {}
    local giveUp = tagserial.prefs.give_up_ms
    local pause = time - serialLink.lastTime[dir]
    serialLink.lastTime[dir] = time
    if giveUp > 0 and #serialLink.pending[dir] > 0 and pause * 1000 > giveUp then
        items[#items + 1] = { kind = "stale", bytes = #serialLink.pending[dir],
            from = serialLink.pendingFrames[dir], pause = pause }
        serialLink.pending[dir] = ""
        serialLink.pendingFrames[dir] = {}
    end
    local held = serialLink.pending[dir]
    local heldFrames = serialLink.pendingFrames[dir]
    local stream = held .. data
    local prev = #held  -- bytes of the stream that came with earlier packets
    local pos = 1        -- stream index where the unexamined bytes start
    local function here(first, last)  -- the part of stream[first..last] in this packet
        local a = math.max(first, prev + 1)
        if a > last then return nil end
        return a - prev - 1, last - a + 1
    end
    while true do
        local idx = stream:find(magic, pos, true)
        if not idx then
            local keep = magicPrefixTail(stream:sub(pos))
            local last = #stream - keep
            if last >= pos then
                local off, len = here(pos, last)
                if off then items[#items + 1] = { kind = "noise", off = off, len = len } end
            end
            pos = last + 1
            break
        end
        if idx > pos then
            local off, len = here(pos, idx - 1)
            if off then items[#items + 1] = { kind = "noise", off = off, len = len } end
        end
        pos = idx
        if #stream - pos + 1 < 10 then break end
        local N = be16(stream, pos + 8)
        if N > 1014 then
            local off, len = here(pos, pos + 3)
            if off then items[#items + 1] = { kind = "noise", off = off, len = len, oversize = true } end
            pos = pos + 4
        elseif #stream - pos + 1 < N + 10 then
            break
        else
            local last = pos + N + 9
            local off, len = here(pos, last)
            local from = {}
            if pos <= prev then for _, f in ipairs(heldFrames) do from[#from + 1] = f end end
            from[#from + 1] = number
            items[#items + 1] = { kind = "frame", off = off, len = len, bytes = stream:sub(pos, last),
                from = from, whole = pos > prev }
            pos = last + 1
        end
    end
    local rest = stream:sub(pos)
    if #rest > 0 then
        local off, len = here(pos, #stream)
        if off then items[#items + 1] = { kind = "fragment", off = off, len = len } end
        local frames = {}
        if pos <= prev then for _, f in ipairs(heldFrames) do frames[#frames + 1] = f end end
        if off then frames[#frames + 1] = number end
        serialLink.pendingFrames[dir] = frames
    else
        serialLink.pendingFrames[dir] = {}
    end
    serialLink.pending[dir] = rest
    return items
end

-- The dialect of one frame: the configuration frame (CRC high byte first)
-- or the legacy settings tool's (CRC low byte first). The CRC's byte order
-- tells them apart; when it cannot (a bad CRC, or both bytes equal), the
-- level of a request (0 or 1) and then the last settled dialect decide.
local function serialDialect(s, dir)
    local total = #s
    local crc = crcOf(s, total)
    local hi, lo = s:byte(7), s:byte(8)
    local hiFirst = crc == hi * 256 + lo
    local loFirst = crc == lo * 256 + hi
    local d
    if hiFirst and not loFirst then
        d = "configuration"
    elseif loFirst and not hiFirst then
        d = "legacy"
    elseif dir == 0 and s:byte(5) == 0 then
        d = "configuration"
    elseif dir == 0 and s:byte(5) == 1 then
        d = "legacy"
    else
        d = serialLink.dialect
    end
    return d, (hiFirst or loFirst), crc
end

-- The legacy settings tool's record.
local function addLegacyRecord(tree, tvb, p, N, reply)
    local function need(n)
        if N < n then
            tree:add_proto_expert_info(se.short, string.format("Payload of %d bytes, the layout needs %d", N, n))
            return false
        end
        return true
    end
    if not need(15) then return "" end
    tree:add(sf.rs485_baud, tvb(p, 1))
    tree:add(sf.ant0_baud, tvb(p + 1, 1))
    tree:add(sf.ant1_baud, tvb(p + 2, 1))
    tree:add_le(sf.ip, tvb(p + 3, 4))
    tree:add_le(sf.mask, tvb(p + 7, 4))
    tree:add_le(sf.gateway, tvb(p + 11, 4))
    local ip = string.format("%d.%d.%d.%d", tvb(p + 6, 1):uint(), tvb(p + 5, 1):uint(), tvb(p + 4, 1):uint(), tvb(p + 3, 1):uint())
    local text = " ip=" .. ip
    local at = 15
    if reply then
        if not need(47) then return text end
        addText(tree, sf.version_text, tvb(p + 15, 32))
        at = 47
        text = text .. " version=" .. tvb(p + 15, 32):stringz()
    elseif not need(17) then
        return text
    end
    if N > at then
        tree:add(sf.threshold, tvb(p + at, 1))
        text = text .. " threshold=" .. tvb(p + at, 1):int()
    end
    if N > at + 1 then
        tree:add(sf.ant1_as_ant0, tvb(p + at + 1, 1))
        text = text .. " flag=" .. tvb(p + at + 1, 1):uint()
    end
    return text
end

-- One whole frame in tvb; ctx holds the per-frame state of the first pass.
local function dissectSerialFrame(tvb, pinfo, root, rec)
    local s = tvb:raw(0, tvb:len())
    local N = tvb:len() - 10
    local level, code = s:byte(5), s:byte(6)
    local tree = root:add(tagserial, tvb(0, tvb:len()))
    tree:add(sf.magic, tvb(0, 4))
    tree:add(sf.level, tvb(4, 1))
    tree:add(sf.code, tvb(5, 1))
    local crcItem = tree:add(sf.crc, tvb(6, 2))
    tree:add(sf.crc_status, rec.crcGood and csGood or csBad):set_generated()
    if not rec.crcGood then
        crcItem:add_proto_expert_info(se.crc, string.format("CRC bytes %02X %02X, computed 0x%04x", s:byte(7), s:byte(8), rec.crc))
    end
    tree:add(sf.length, tvb(8, 2))
    tree:add(sf.dialect, rec.dialect or "unknown"):set_generated()
    local p = 10
    local caption = serialCodes[code] or string.format("Command 0x%02X", code)
    local text = ""
    if rec.dialect == "legacy" then
        caption = "R7A " .. caption:lower()
        if code == 0x02 then
            text = string.format(" (%d bytes)", N + 10) .. addLegacyRecord(tree, tvb, p, N, true)
        elseif code == 0x03 then
            text = addLegacyRecord(tree, tvb, p, N, false)
        elseif N > 0 then
            tree:add(sf.payload, tvb(p, N))
        end
    elseif code == 0x02 and N >= 17 then
        addText(tree, sf.version_text, tvb(p, 16))
        tree:add(sf.model, tvb(p + 16, 1))
        local model = s:byte(27)
        local layout = modelLayout[model]
        text = string.format(" model=%d level=%d", model, level)
        if layout then
            tree:add(sf.layout, layout):set_generated()
            addLayout(tree, tvb, p, N, recordLayouts[layout])
        else
            tree:add_proto_expert_info(se.model, string.format("Model %d has no layout here", model))
        end
    elseif code == 0x03 then
        local layout = writeSizeLayout[N]
        local model = rec.model
        if model then tree:add(sf.model, model):set_generated():append_text(" (from the last parameter reply)") end
        if not layout and model then layout = modelLayout[model] end
        if layout then
            tree:add(sf.layout, layout):set_generated()
            if model and modelLayout[model] and modelLayout[model] ~= layout then
                tree:add_proto_expert_info(se.model, string.format(
                    "A %d-byte write does not fit the layout of model %d", N, model))
            end
            addLayout(tree, tvb, p, N, writeLayouts[layout], writeModeOffset[layout])
            text = string.format(" %s (%d bytes)", layout, N)
        elseif N > 0 then
            tree:add(sf.payload, tvb(p, N))
        end
    elseif (code == 0x08 or code == 0x09) and N >= 1 then
        tree:add(sf.threshold, tvb(p, 1))
        text = " threshold=" .. tvb(p, 1):int()
        if N > 1 then tree:add(sf.payload, tvb(p + 1, N - 1)) end
    elseif N > 0 then
        tree:add(sf.payload, tvb(p, N))
    end
    if not rec.crcGood then text = text .. " [bad CRC]" end
    return caption .. text
end

function tagserial.dissector(tvb, pinfo, root)
    if tvb:len() < 1 then return 0 end
    local dir = tvb(0, 1):uint()
    if dir > 1 then dir = 1 end
    pinfo.cols.protocol = "TAGSERIAL"
    pinfo.cols.src = dir == 0 and "PC" or "reader"
    pinfo.cols.dst = dir == 0 and "reader" or "PC"

    local items = serialFrames[pinfo.number]
    if not items then
        items = cutSerial(dir, tvb:raw(1, tvb:len() - 1), pinfo.number, pinfo.abs_ts)
        for _, it in ipairs(items) do
            if it.kind == "frame" then
                it.dialect, it.crcGood, it.crc = serialDialect(it.bytes, dir)
                if it.crcGood and it.dialect then serialLink.dialect = it.dialect end
                it.model = serialLink.model
                if it.dialect == "configuration" and it.crcGood and it.bytes:byte(6) == 0x02 and #it.bytes >= 27 then
                    serialLink.model = it.bytes:byte(27)
                end
            end
        end
        serialFrames[pinfo.number] = items
    end

    local top = root:add(tagserial, tvb(0, tvb:len()), "Tag desk serial bytes")
    top:add(sf.direction, tvb(0, 1))
    local infos = {}
    for _, it in ipairs(items) do
        local range = it.off and tvb(1 + it.off, it.len)
        if it.kind == "stale" then
            local frameList = {}
            for _, f in ipairs(it.from) do frameList[#frameList + 1] = tostring(f) end
            top:add_proto_expert_info(se.stale, string.format(
                "%d bytes held since packet %s dropped: no byte for %d ms", it.bytes,
                table.concat(frameList, ","), math.floor(it.pause * 1000 + 0.5)))
            infos[#infos + 1] = "Incomplete frame dropped"
        elseif it.kind == "noise" then
            top:add(sf.noise, range):add_proto_expert_info(it.oversize and se.oversize or se.noise)
            infos[#infos + 1] = string.format("Noise (%d bytes)", it.len)
        elseif it.kind == "fragment" then
            top:add(sf.fragment, range):append_text(" (the frame continues in a later packet)")
            infos[#infos + 1] = "Frame fragment"
        else
            local frameTvb
            if it.whole then
                frameTvb = range:tvb()
            else
                top:add(sf.fragment, range):append_text(" (the frame's end)")
                frameTvb = ByteArray.new(it.bytes, true):tvb("Reassembled serial frame")
            end
            local frameList = {}
            for _, f in ipairs(it.from) do frameList[#frameList + 1] = tostring(f) end
            if not it.whole then top:add(sf.frames, table.concat(frameList, ",")):set_generated() end
            infos[#infos + 1] = dissectSerialFrame(frameTvb, pinfo, root, it)
        end
    end
    pinfo.cols.info = table.concat(infos, " | ")
    return tvb:len()
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, tagserial)
