// tb.v: testbench for a design of the processor. Loads a memory file, runs
// the design, checks its ports and writes its commit log, one line per
// executed instruction, in the format of `tavora-run --commit-log`:
//
//   <step> <pc> <word>[ r<NN> <value>][ m <address> <value>]
//
// so that `tavora-cosim` can compare it with the simulator's.
//
//   tavora-run --memory-image prog.mem prog.cod
//   iverilog -o tb.vvp hdl/tb.v hdl/ref_core.v
//   vvp -n tb.vvp +mem=prog.mem +log=design.log
//
// Plusargs (numbers: $hex, 0xhex or decimal; the values used are printed):
//   +mem=FILE        the memory file (required): `tavora-run --memory-image`
//                    writes one with an @address record before each run of
//                    consecutive words; brennel's (no records) also works
//   +base=N          address of the words before the first @ record
//                    (default $800000)
//   +log=FILE        where the commit log goes (default commit.log)
//   +max_steps=N     stop after N instructions (default 1000000; 0: none)
//   +max_cycles=N    stop after N clock cycles (default 100 per step of
//                    +max_steps and 10000 more; 0: none)
//   +max_wait=N      stop when no instruction retired for N cycles
//                    (default 10000), so a design that hangs ends at once
//   +vcd=FILE        write the design's signals to a VCD waveform file
//
// Memory: exactly the words the memory file lists are present; every other
// word reads ffffffff, as in the simulator, until the design stores to it.
//
// Timing: every output of the design is sampled 1 ns before the rising
// clock edge, when whatever the previous edge scheduled has settled; the
// edge then clocks the design, and a store sampled with mem_we high is
// written to memory when the clock falls, so the design reads the new word
// from the next cycle on. An unknown (x) or undriven (z) bit on ret_valid
// or mem_we, or on another output while it matters, stops the run with the
// cycle and the signal. Every store that a retire reports must have been
// made on the memory port, with the same address and value, after the
// previous retire and no later than its own retire cycle; a store made in
// the cycle of a retire that reports none belongs to the next instruction.
//
// The run ends where the simulator's would: the first instruction always
// executes; after that, when the design retires an instruction at an
// address that holds the stop opcode (48), the idle-loop word 1000ffff, or
// nothing at all, that instruction is not logged and the run ends.
//
// At the end it prints why the run ended and, where the design may be at
// fault, the signals to look at ("tb: look at: ..."). Exit status (Icarus
// Verilog): 0 it ended by a stop or a limit, 1 the design broke a port
// rule, 2 the testbench could not start (a plusarg, the memory file, the
// log).
//
// The design is the module named by the macro TAVORA_DUT (default
// tavora_core) with the port list documented in ref_core.v.
`timescale 1ns / 1ns
`ifndef TAVORA_DUT
`define TAVORA_DUT tavora_core
`endif

module tb;
  parameter MEM_WORDS = 1 << 20;    // words the memory file may list
  parameter MEM_RUNS = 1 << 12;     // runs of consecutive words it may have
  parameter SPARE_WORDS = 1 << 16;  // room for words stored outside them (a power of two)
  localparam SPARE_BITS = $clog2(SPARE_WORDS);

  reg clk = 1'b0;
  reg reset = 1'b1;

  wire [31:0] mem_addr, mem_wdata, ret_pc, ret_word, ret_reg_value, ret_mem_addr, ret_mem_value;
  wire [4:0] ret_reg_num;
  wire mem_we, ret_valid, ret_reg_we, ret_mem_we;
  reg [31:0] mem_rdata;

  `TAVORA_DUT dut (
      .clk(clk), .reset(reset),
      .mem_addr(mem_addr), .mem_rdata(mem_rdata), .mem_we(mem_we), .mem_wdata(mem_wdata),
      .ret_valid(ret_valid), .ret_pc(ret_pc), .ret_word(ret_word),
      .ret_reg_we(ret_reg_we), .ret_reg_num(ret_reg_num), .ret_reg_value(ret_reg_value),
      .ret_mem_we(ret_mem_we), .ret_mem_addr(ret_mem_addr), .ret_mem_value(ret_mem_value));

  // The memory port as sampled in the last cycle; its store is written to
  // memory when the clock falls.
  reg s_mem_we = 1'b0;
  reg [31:0] s_mem_addr = 0, s_mem_wdata = 0;

  // ---- the end of the run ----

  reg [63:0] steps = 0, cycles = 0;
  integer log_fd = 0;

  // Why the design should be looked at where it stopped.
  reg [63:0] last_retire_cycle = 0, x_addr_cycles = 0, x_addr_first = 0, x_addr_last = 0;
  reg [31:0] last_retire_pc = 0;

  task print_signals;
    begin
      if (steps == 0)
        $display("tb: look at: no instruction retired (ret_valid was never 1)");
      else
        $display("tb: look at: the last retire, step %0d at $%h in cycle %0d", steps, last_retire_pc,
                 last_retire_cycle);
      $display("tb: look at: the memory port in cycle %0d: mem_addr $%h, mem_we %b, ret_valid %b", cycles, s_mem_addr,
               s_mem_we, ret_valid);
      if (x_addr_cycles != 0)
        $display("tb: look at: mem_addr was unknown (x) in %0d cycles, first in cycle %0d, last in cycle %0d",
                 x_addr_cycles, x_addr_first, x_addr_last);
    end
  endtask

  task finish(input integer status);
    begin
      if (log_fd != 0) $fclose(log_fd);
`ifdef __ICARUS__
      $finish_and_return(status);
`else
      $finish;
`endif
    end
  endtask

  // The run cannot start: a plusarg, the memory file or the log.
  task setup_error(input [8*160-1:0] text);
    begin
      $display("tb: error: %0s", text);
      finish(2);
    end
  endtask

  // A stop where the simulator's run would end too.
  task stop(input [8*100-1:0] reason, input show_signals);
    begin
      $display("tb: %0s after %0d instructions (%0d cycles)", reason, steps, cycles);
      if (show_signals) print_signals;
      finish(0);
    end
  endtask

  // The design broke a port rule while working on step steps + 1.
  task fault(input [8*120-1:0] text, input [8*160-1:0] detail);
    begin
      $display("tb: fault at step %0d in cycle %0d: %0s", steps + 1, cycles, text);
      if (detail != 0) $display("tb:   %0s", detail);
      $display("tb: stopped after %0d instructions (%0d cycles)", steps, cycles);
      print_signals;
      finish(1);
    end
  endtask

  // ---- numbers in plusargs ----

  reg [8*128-1:0] text;
  reg number_ok;
  reg [63:0] number;

  // Reads text as $hex, 0xhex or decimal, into number; number_ok = 0 when
  // it is anything else or does not fit in `bits` bits.
  task parse_number(input [8*128-1:0] s, input integer bits);
    integer i, digits;
    reg [7:0] c;
    reg hex, started;
    reg [4:0] d;
    reg [127:0] v;
    begin
      number_ok = 1;
      hex = 0;
      started = 0;
      digits = 0;
      v = 0;
      for (i = 127; i >= 0; i = i - 1) begin
        c = s[8*i+:8];
        if (c != 0) begin
          if (!started && digits == 0 && !hex && c == "$") hex = 1;
          else if (!started && digits == 0 && !hex && c == "0" && i > 0 && (s[8*(i-1)+:8] == "x" || s[8*(i-1)+:8] == "X")) begin
            hex = 1;
            i = i - 1;
          end else begin
            started = 1;
            d = 16;
            if (c >= "0" && c <= "9") d = c - "0";
            else if (hex && c >= "a" && c <= "f") d = c - "a" + 10;
            else if (hex && c >= "A" && c <= "F") d = c - "A" + 10;
            if (d == 16) number_ok = 0;
            else begin
              v = hex ? (v << 4) | d : v * 10 + d;
              if (v >> bits != 0) number_ok = 0;
              digits = digits + 1;
            end
          end
        end
      end
      if (digits == 0) number_ok = 0;
      number = v[63:0];
    end
  endtask

  // Reads +NAME=N into value when given; a malformed one ends the run.
  task number_plusarg(input [8*16-1:0] name, input integer bits, inout [63:0] value);
    reg [8*32-1:0] pattern;
    begin
      $sformat(pattern, "%0s=%%s", name);
      text = 0;
      if ($value$plusargs(pattern, text)) begin
        parse_number(text, bits);
        if (!number_ok) begin
          $display("tb: error: +%0s=%0s is not a number that fits in %0d bits (write $hex, 0xhex or decimal)", name,
                   text, bits);
          finish(2);
        end
        value = number;
      end
    end
  endtask

  // ---- memory ----

  // The memory file's words, as runs of consecutive addresses in ascending
  // order; run k holds run_first[k] .. run_last[k] from mem[run_at[k]] on.
  reg [31:0] mem[0:MEM_WORDS-1];
  reg [31:0] run_first[0:MEM_RUNS-1];
  reg [31:0] run_last[0:MEM_RUNS-1];
  reg [31:0] run_at[0:MEM_RUNS-1];
  integer runs = 0, words = 0;

  // Words stored outside the runs: an open-addressing hash table.
  reg [31:0] spare_addr[0:SPARE_WORDS-1];
  reg [31:0] spare_word[0:SPARE_WORDS-1];
  reg spare_used[0:SPARE_WORDS-1];
  integer spare_count = 0;

  // The run found last, tried first without a call: fetches and loads
  // mostly stay in one. An x address matches no run.
  reg [31:0] near_first = 0, near_count = 0, near_at = 0;

  // The index into mem of a listed address, or -1.
  function integer listed(input [31:0] address);
    integer lo, hi, mid;
    begin
      listed = -1;
      lo = 0;
      hi = runs - 1;
      while (lo <= hi) begin
        mid = (lo + hi) / 2;
        if (address < run_first[mid]) hi = mid - 1;
        else if (address > run_last[mid]) lo = mid + 1;
        else begin
          listed = run_at[mid] + (address - run_first[mid]);
          near_first = run_first[mid];
          near_count = run_last[mid] - run_first[mid] + 1;
          near_at = run_at[mid];
          lo = hi + 1;
        end
      end
    end
  endfunction

  // The slot of a stored address, or the free slot where it would go.
  function integer spare_slot(input [31:0] address);
    reg [31:0] h;
    integer i, n;
    begin
      h = address * 32'h9e3779b1;
      i = SPARE_BITS == 0 ? 0 : h >> (32 - SPARE_BITS);
      n = 0;
      while (spare_used[i] === 1'b1 && spare_addr[i] != address && n < SPARE_WORDS) begin
        i = (i + 1) % SPARE_WORDS;
        n = n + 1;
      end
      spare_slot = i;
    end
  endfunction

  // {present, word} of an address.
  function [32:0] lookup(input [31:0] address);
    integer k;
    begin
      k = listed(address);
      if (k >= 0) lookup = {1'b1, mem[k]};
      else begin
        k = spare_slot(address);
        lookup = spare_used[k] === 1'b1 ? {1'b1, spare_word[k]} : {1'b0, 32'hffffffff};
      end
    end
  endfunction

  // Counts stores, so that a read of the address just stored to sees the
  // new word (the function's reads of the arrays are no events).
  reg [31:0] stores = 0;
  reg [32:0] read_word;
  always @(mem_addr or stores) begin
    if (mem_addr - near_first < near_count) begin
      mem_rdata = mem[near_at + (mem_addr - near_first)];
    end else if (^mem_addr === 1'bx) begin
      mem_rdata = 32'hxxxxxxxx;
    end else begin
      read_word = lookup(mem_addr);
      mem_rdata = read_word[31:0];
    end
  end

  task store(input [31:0] address, input [31:0] value);
    integer k;
    begin
      k = listed(address);
      if (k >= 0) mem[k] = value;
      else begin
        k = spare_slot(address);
        if (spare_used[k] !== 1'b1) begin
          if (spare_count >= SPARE_WORDS - SPARE_WORDS / 4) begin
            $display("tb: error: more than %0d words stored outside the memory file; raise SPARE_WORDS (iverilog -Ptb.SPARE_WORDS=%0d)",
                     spare_count, 4 * SPARE_WORDS);
            finish(2);
          end
          spare_used[k] = 1'b1;
          spare_addr[k] = address;
          spare_count = spare_count + 1;
        end
        spare_word[k] = value;
      end
      stores = stores + 1;
    end
  endtask

  // Reads the memory file: words, "@address" records and "//" comments.
  reg [8*1024-1:0] mem_file, log_file, vcd_file;
  reg [63:0] base = 64'h800000;
  task read_memory_file;
    integer fd, n, c;
    reg [31:0] value, address, next;
    reg open;  // the last run ends at address - 1 and may grow
    reg [8*256-1:0] rest;
    begin
      fd = $fopen(mem_file, "r");
      if (fd == 0) begin
        $display("tb: error: cannot read the memory file %0s", mem_file);
        finish(2);
      end
      address = base[31:0];
      open = 0;
      n = 1;
      while (n >= 0) begin
        n = $fscanf(fd, "%h", value);
        if (n == 1) begin
          if (^value === 1'bx) begin
            $display("tb: error: %0s: the word for $%h has unknown digits", mem_file, address);
            finish(2);
          end
          if (!open) begin
            if (runs > 0 && address <= run_last[runs-1]) begin
              $display("tb: error: %0s: $%h comes after $%h; the addresses must ascend", mem_file, address,
                       run_last[runs-1]);
              finish(2);
            end
            if (runs > 0 && address == run_last[runs-1] + 1) begin
              runs = runs - 1;  // continues the last run
            end else begin
              if (runs == MEM_RUNS) begin
                $display("tb: error: %0s has more than %0d runs of words; raise MEM_RUNS (iverilog -Ptb.MEM_RUNS=N)",
                         mem_file, MEM_RUNS);
                finish(2);
              end
              run_first[runs] = address;
              run_at[runs] = words;
            end
            runs = runs + 1;
            open = 1;
          end
          if (words == MEM_WORDS) begin
            $display("tb: error: %0s has more than %0d words; raise MEM_WORDS (iverilog -Ptb.MEM_WORDS=N)", mem_file,
                     MEM_WORDS);
            finish(2);
          end
          mem[words] = value;
          words = words + 1;
          run_last[runs-1] = address;
          next = address + 1;
          if (next == 0) open = 0;  // a word after $ffffffff would wrap
          address = next;
        end else if (n == 0) begin
          c = $fgetc(fd);
          if (c == -1) begin
            n = -1;  // the end of the file
          end else if (c == "@") begin
            if ($fscanf(fd, "%h", next) != 1 || ^next === 1'bx) begin
              $display("tb: error: %0s: an @ without an address after $%h", mem_file, address);
              finish(2);
            end
            if (!open || next != address) open = 0;
            address = next;
          end else if (c == "/" && $fgetc(fd) == "/") begin
            n = $fgets(rest, fd);  // a comment to the end of the line
            n = 0;
          end else begin
            $display("tb: error: %0s: unexpected character '%c' after the word for $%h", mem_file, c, address - 1);
            finish(2);
          end
        end
      end
      $fclose(fd);
      if (words == 0) begin
        $display("tb: error: the memory file %0s lists no words", mem_file);
        finish(2);
      end
    end
  endtask

  // ---- the outputs, sampled before each rising edge ----


  reg [8*120-1:0] message;

  // What is wrong with a value that has unknown or undriven bits ("": none).
  function [8*60-1:0] unknown_bits(input [31:0] value, input integer width);
    integer i;
    reg x, z;
    begin
      x = 0;
      z = 0;
      for (i = 0; i < width; i = i + 1) begin
        if (value[i] === 1'bz) z = 1;
        else if (value[i] === 1'bx) x = 1;
      end
      unknown_bits = z ? (width == 1 ? "z (not driven)" : "undriven (z) bits")
                   : x ? (width == 1 ? "x (unknown)" : "unknown (x) bits") : "";
    end
  endfunction

  task check(input [8*16-1:0] name, input [31:0] value, input integer width);
    reg [8*60-1:0] what;
    begin
      what = unknown_bits(value, width);
      if (what != 0) begin
        if (width == 1) $sformat(message, "%0s is %0s", name, what);
        else if (width == 5) $sformat(message, "%0s is %b: %0s", name, value[4:0], what);
        else $sformat(message, "%0s is %h: %0s", name, value, what);
        fault(message, 0);
      end
    end
  endtask

  // Faults on the sampled outputs, in the order a designer would look;
  // called only when some bit is x or z (the reduction ^ is x then).
  task check_samples;
    begin
      if (^s_mem_addr === 1'bx) begin
        if (x_addr_cycles == 0) x_addr_first = cycles;
        x_addr_last = cycles;
        x_addr_cycles = x_addr_cycles + 1;
      end
      if ((^{ret_valid, s_mem_we} === 1'bx
              || (s_mem_we && ^{s_mem_addr, s_mem_wdata} === 1'bx)
              || (ret_valid && ^{ret_pc, ret_word, ret_reg_we, ret_mem_we} === 1'bx)
              || (ret_valid && ret_reg_we && ^{ret_reg_num, ret_reg_value} === 1'bx)
              || (ret_valid && ret_mem_we && ^{ret_mem_addr, ret_mem_value} === 1'bx)))
        find_fault;
    end
  endtask

  task find_fault;
    begin
      check("ret_valid", ret_valid, 1);
      check("mem_we", s_mem_we, 1);
      if (s_mem_we) begin
        check("mem_addr", s_mem_addr, 32);
        check("mem_wdata", s_mem_wdata, 32);
      end
      if (ret_valid) begin
        check("ret_pc", ret_pc, 32);
        check("ret_word", ret_word, 32);
        check("ret_reg_we", ret_reg_we, 1);
        check("ret_mem_we", ret_mem_we, 1);
        if (ret_reg_we) begin
          check("ret_reg_num", ret_reg_num, 5);
          check("ret_reg_value", ret_reg_value, 32);
        end
        if (ret_mem_we) begin
          check("ret_mem_addr", ret_mem_addr, 32);
          check("ret_mem_value", ret_mem_value, 32);
        end
      end
    end
  endtask

  // ---- stores made on the port and not yet claimed by a retire ----

  localparam PENDING = 4;
  reg [63:0] pending_cycle[0:PENDING-1];
  reg [31:0] pending_addr[0:PENDING-1];
  reg [31:0] pending_value[0:PENDING-1];
  integer pending = 0, k;

  task claim_store;
    begin
      for (k = 1; k < pending; k = k + 1) begin
        pending_cycle[k-1] = pending_cycle[k];
        pending_addr[k-1] = pending_addr[k];
        pending_value[k-1] = pending_value[k];
      end
      pending = pending - 1;
    end
  endtask

  // A store left from before this cycle belongs to no retire.
  task check_unreported;
    reg [8*160-1:0] detail;
    begin
      if (pending > 0 && pending_cycle[0] < cycles) begin
        $sformat(detail, "in cycle %0d it stored [$%h] := $%h; no retire since has reported it", pending_cycle[0],
                 pending_addr[0], pending_value[0]);
        fault("the memory port made a store that the design did not report", detail);
      end
    end
  endtask

  // The store a retire reports against the oldest one the port made.
  task check_reported_store;
    reg [8*160-1:0] detail;
    begin
      if (ret_mem_we) begin
        if (pending == 0) begin
          $sformat(detail, "it reported [$%h] := $%h; mem_we was not 1 in any cycle since the previous retire",
                   ret_mem_addr, ret_mem_value);
          fault("the design reported a store that its memory port did not make", detail);
        end
        if (pending_addr[0] != ret_mem_addr || pending_value[0] != ret_mem_value) begin
          $sformat(detail, "it reported [$%h] := $%h; the memory port stored [$%h] := $%h in cycle %0d",
                   ret_mem_addr, ret_mem_value, pending_addr[0], pending_value[0], pending_cycle[0]);
          fault("the design reported another store than its memory port made", detail);
        end
        claim_store;
      end
      check_unreported;
    end
  endtask

  // ---- one cycle ----

  reg [63:0] max_steps = 1000000, max_cycles = 0, max_wait = 10000, wait_end = 0;
  reg [32:0] at_pc;
  reg [8*100-1:0] reason;

  // One cycle's work on the outputs sampled before its rising edge. The
  // stop test reads memory as it was before this cycle's store, as the
  // simulator tests a word before it executes it.
  task cycle;
    begin
      cycles = cycles + 1;
      s_mem_we = mem_we;
      s_mem_addr = mem_addr;
      s_mem_wdata = mem_wdata;
      if (ret_valid === 1'b1 ? ^{ret_pc, ret_word, ret_reg_we, ret_reg_num, ret_reg_value, ret_mem_we, ret_mem_addr,
                                   ret_mem_value} === 1'bx : ret_valid !== 1'b0)
        check_samples;
      else if (s_mem_we === 1'b1 ? ^{s_mem_addr, s_mem_wdata} === 1'bx : s_mem_we !== 1'b0)
        check_samples;
      else if (^s_mem_addr === 1'bx)
        check_samples;
      if (s_mem_we) begin
        if (pending == PENDING) begin
          message = "the memory port made more stores than the design reported";
          fault(message, 0);
        end
        pending_cycle[pending] = cycles;
        pending_addr[pending] = s_mem_addr;
        pending_value[pending] = s_mem_wdata;
        pending = pending + 1;
      end
      if (ret_valid) begin
        if (ret_pc - near_first < near_count)
          at_pc = {1'b1, mem[near_at + (ret_pc - near_first)]};
        else
          at_pc = lookup(ret_pc);
        if (steps != 0 && (!at_pc[32] || at_pc[31:26] == 6'd48 || at_pc[31:0] == 32'h1000ffff)) begin
          if (!at_pc[32]) $sformat(reason, "unmapped program counter $%h", ret_pc);
          else if (at_pc[31:26] == 6'd48) $sformat(reason, "stop opcode at $%h", ret_pc);
          else $sformat(reason, "idle loop at $%h", ret_pc);
          check_unreported;
          stop(reason, !at_pc[32]);
        end
        if (ret_mem_we || pending > 0) check_reported_store;
        steps = steps + 1;
        last_retire_cycle = cycles;
        wait_end = cycles + max_wait;
        last_retire_pc = ret_pc;
        // Writes to R0 are dropped, as the processor drops them.
        if (ret_reg_we && ret_reg_num != 5'd0) begin
          if (ret_mem_we)
            $fwrite(log_fd, "%0d %h %h r%02d %h m %h %h\n", steps, ret_pc, ret_word, ret_reg_num, ret_reg_value,
                    ret_mem_addr, ret_mem_value);
          else
            $fwrite(log_fd, "%0d %h %h r%02d %h\n", steps, ret_pc, ret_word, ret_reg_num, ret_reg_value);
        end else if (ret_mem_we) begin
          $fwrite(log_fd, "%0d %h %h m %h %h\n", steps, ret_pc, ret_word, ret_mem_addr, ret_mem_value);
        end else begin
          $fwrite(log_fd, "%0d %h %h\n", steps, ret_pc, ret_word);
        end
        if (max_steps != 0 && steps == max_steps) begin
          $sformat(reason, "step limit %0d", max_steps);
          $display("tb: %0s reached (%0d cycles)", reason, cycles);
          finish(0);
        end
      end else if (pending > 0) begin
        check_unreported;
      end
      if (cycles == wait_end || cycles == max_cycles) limit_reached;
    end
  endtask

  task limit_reached;
    begin
      if (cycles == wait_end) begin
        $sformat(reason, "cycle limit after %0d instructions: none retired in the last %0d cycles (+max_wait)", steps,
                 max_wait);
        $display("tb: %0s, up to cycle %0d", reason, cycles);
        print_signals;
        finish(0);
      end
      if (cycles == max_cycles) begin
        $sformat(reason, "cycle limit after %0d instructions: %0d cycles (+max_cycles)", steps, max_cycles);
        $display("tb: %0s", reason);
        print_signals;
        finish(0);
      end
    end
  endtask

  initial begin
    if (SPARE_WORDS != 1 << SPARE_BITS) setup_error("SPARE_WORDS must be a power of two");
    mem_file = 0;
    if (!$value$plusargs("mem=%s", mem_file) || mem_file == 0)
      setup_error("no memory file given (+mem=FILE, as tavora-run --memory-image FILE writes it)");
    if (!$value$plusargs("log=%s", log_file) || log_file == 0) log_file = "commit.log";
    number_plusarg("base", 32, base);
    number_plusarg("max_steps", 63, max_steps);
    max_cycles = max_steps == 0 ? 0 : 100 * max_steps + 10000;
    number_plusarg("max_cycles", 63, max_cycles);
    number_plusarg("max_wait", 63, max_wait);
    if (max_wait == 0) setup_error("+max_wait must be at least 1");
    wait_end = max_wait;
    read_memory_file;
    stores = stores + 1;  // reads again what the design addresses
    $display("tb: memory file %0s: %0d words in %0d runs from $%h to $%h; every other word reads ffffffff", mem_file,
             words, runs, run_first[0], run_last[runs-1]);
    $display("tb: +base=$%h +max_steps=%0d +max_cycles=%0d +max_wait=%0d +log=%0s", base[31:0], max_steps, max_cycles,
             max_wait, log_file);
    log_fd = $fopen(log_file, "w");
    if (log_fd == 0) begin
      $display("tb: error: cannot write the commit log %0s", log_file);
      finish(2);
    end
    vcd_file = 0;
    if ($value$plusargs("vcd=%s", vcd_file)) begin
      if (vcd_file == 0) setup_error("+vcd= needs a file name");
      $display("tb: waveform %0s", vcd_file);
      $dumpfile(vcd_file);
      $dumpvars(0, dut);
      $dumpvars(0, steps, cycles);
    end

    // Two cycles of reset; reset falls while the clock is low.
    repeat (2) begin
      #5 clk = 1'b1;
      #5 clk = 1'b0;
    end
    reset = 1'b0;
    // The outputs are sampled 1 ns before the rising edge; a store made in
    // the cycle is written to memory when the clock falls, so the design
    // reads the new word from the next cycle on.
    forever begin
      #4 cycle;
      #1 clk = 1'b1;
      #5 begin
        if (s_mem_we) store(s_mem_addr, s_mem_wdata);
        clk = 1'b0;
      end
    end
  end
endmodule
