// tb.v: testbench for a design of the processor. Loads a memory file that
// brennel wrote, runs the design and writes its commit log, one line per
// executed instruction, in the format of `tavora-run --commit-log`:
//
//   <step> <pc> <word>[ r<NN> <value>][ m <address> <value>]
//
// so that `tavora-cosim` can compare it with the simulator's.
//
//   iverilog -o tb.vvp hdl/tb.v hdl/ref_core.v
//   vvp tb.vvp +mem=prog.mem +log=design.log
//
// Plusargs:
//   +mem=FILE        brennel's text memory file (required)
//   +base=HEX        word address of the file's first line (default 800000)
//   +log=FILE        where the commit log goes (default commit.log)
//   +max_steps=N     stop after N instructions (default: no limit)
//   +max_cycles=N    stop after N clock cycles, so that a design that never
//                    stops cannot hang the run (default 1000000)
//
// The design is the module named by the macro TAVORA_DUT (default
// tavora_core) with the port list documented in ref_core.v.
//
// Memory: a word that was neither loaded nor stored reads as ffffffff, as in
// the simulator. Words from +base on are kept in an array of MEM_WORDS
// words; stores anywhere else go to a small table of SPARE_WORDS words.
//
// The run ends where the simulator's would: the first instruction always
// executes; after that, when the design retires an instruction at an
// address that holds the stop opcode (48), the idle-loop word 1000ffff, or
// nothing at all, that instruction is not logged and the run ends.
`timescale 1ns / 1ns
`ifndef TAVORA_DUT
`define TAVORA_DUT tavora_core
`endif

module tb;
  parameter MEM_WORDS = 1 << 20;
  parameter SPARE_WORDS = 4096;

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

  // ---- memory: unknown (x) words are the ones never loaded or stored ----
  reg [31:0] mem[0:MEM_WORDS-1];
  reg [31:0] spare_addr[0:SPARE_WORDS-1];
  reg [31:0] spare_word[0:SPARE_WORDS-1];
  integer spare_count = 0;
  reg [31:0] base = 32'h00800000;

  // {mapped, word} of an address.
  function [32:0] lookup(input [31:0] address);
    reg [31:0] offset, w;
    integer k;
    begin
      lookup = {1'b0, 32'hffffffff};
      offset = address - base;
      if (offset < MEM_WORDS) begin
        w = mem[offset];
        if (^w !== 1'bx) lookup = {1'b1, w};
      end else begin
        for (k = 0; k < spare_count; k = k + 1)
          if (spare_addr[k] == address) lookup = {1'b1, spare_word[k]};
      end
    end
  endfunction

  task store(input [31:0] address, input [31:0] value);
    reg [31:0] offset;
    integer k, found;
    begin
      offset = address - base;
      stores = stores + 1;
      if (offset < MEM_WORDS) begin
        mem[offset] = value;
      end else begin
        found = 0;
        for (k = 0; k < spare_count; k = k + 1)
          if (spare_addr[k] == address) begin
            spare_word[k] = value;
            found = 1;
          end
        if (!found) begin
          if (spare_count == SPARE_WORDS) begin
            $display("tb: more than %0d stored words outside the memory array; raise SPARE_WORDS", SPARE_WORDS);
            finish_run("error");
          end
          spare_addr[spare_count] = address;
          spare_word[spare_count] = value;
          spare_count = spare_count + 1;
        end
      end
    end
  endtask

  // Counts stores, so that a read of the address just stored to sees the
  // new word (the lookup function's reads of the arrays are no events).
  reg [31:0] stores = 0;
  reg [32:0] read_word;
  always @(mem_addr or stores) begin
    read_word = lookup(mem_addr);
    mem_rdata = read_word[31:0];
  end

  // ---- run control and the commit log ----
  reg [8*1024-1:0] mem_file, log_file;
  integer log_fd, probe, words, chars;
  reg [8*64-1:0] line;
  reg [63:0] steps = 0, cycles = 0, max_steps = 0, max_cycles = 1000000;
  reg [32:0] at_pc;

  task finish_run(input [8*32-1:0] reason);
    begin
      $fclose(log_fd);
      $display("tb: %0s after %0d instructions (%0d cycles)", reason, steps, cycles);
      $finish;
    end
  endtask

  initial begin
    if (!$value$plusargs("mem=%s", mem_file)) begin
      $display("tb: no memory file given (+mem=FILE)");
      $finish;
    end
    if (!$value$plusargs("log=%s", log_file)) log_file = "commit.log";
    if ($value$plusargs("base=%h", base)) ;
    if ($value$plusargs("max_steps=%d", max_steps)) ;
    if ($value$plusargs("max_cycles=%d", max_cycles)) ;
    // Count the words first: $readmemh warns about a file shorter than the
    // range it is given.
    probe = $fopen(mem_file, "r");
    if (probe == 0) begin
      $display("tb: cannot read the memory file %0s", mem_file);
      $finish;
    end
    words = 0;
    chars = $fgets(line, probe);
    while (chars != 0) begin
      if (chars > 1 || line[7:0] > 8'h20) words = words + 1;  // skips empty lines
      chars = $fgets(line, probe);
    end
    $fclose(probe);
    if (words > MEM_WORDS) begin
      $display("tb: the memory file has %0d words, more than MEM_WORDS (%0d)", words, MEM_WORDS);
      $finish;
    end
    if (words > 0) $readmemh(mem_file, mem, 0, words - 1);
    log_fd = $fopen(log_file, "w");
    if (log_fd == 0) begin
      $display("tb: cannot write the commit log %0s", log_file);
      $finish;
    end
    repeat (2) @(posedge clk);
    reset <= 1'b0;
  end

  always #5 clk = ~clk;

  // Why the run ends in front of the instruction being retired ("" to go on).
  reg [8*32-1:0] stop_reason;

  always @(posedge clk) if (!reset) begin
    cycles = cycles + 1;
    stop_reason = "";
    if (ret_valid === 1'b1) begin
      at_pc = lookup(ret_pc);
      if (steps != 0) begin
        if (!at_pc[32]) stop_reason = "stop-opcode (unmapped)";
        else if (at_pc[31:26] == 6'd48) stop_reason = "stop-opcode";
        else if (at_pc[31:0] == 32'h1000ffff) stop_reason = "idle-loop";
      end
    end
    if (stop_reason != "") begin
      finish_run(stop_reason);
    end else begin
      if (ret_valid === 1'b1) begin
        steps = steps + 1;
        $fwrite(log_fd, "%0d %h %h", steps, ret_pc, ret_word);
        if (ret_reg_we === 1'b1 && ret_reg_num != 5'd0)  // writes to R0 are not logged
          $fwrite(log_fd, " r%0d%0d %h", ret_reg_num / 10, ret_reg_num % 10, ret_reg_value);
        if (ret_mem_we === 1'b1) $fwrite(log_fd, " m %h %h", ret_mem_addr, ret_mem_value);
        $fwrite(log_fd, "\n");
      end
      if (mem_we === 1'b1) store(mem_addr, mem_wdata);
      if (max_steps != 0 && steps == max_steps) finish_run("step-limit");
      else if (cycles == max_cycles) finish_run("cycle limit");
    end
  end
endmodule
