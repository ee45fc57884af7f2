// ref_core.v: a simple behavioural model of the processor, the example
// design under test for tb.v and a starting point for your own.
//
// Two clock cycles per instruction: FETCH reads the word at the program
// counter into the instruction register; EXECUTE reads the operands, does a
// load or a store through the same memory port, writes the result, moves the
// program counter and retires the instruction.
//
// The machine (what every design must do to match the simulator):
//  - 32 registers of 32 bits, R0 always reads 0; one word per instruction;
//    memory and the program counter count words, not bytes.
//  - After reset: PC = 00800001, R30 = 00800000, every other register 0.
//  - R format (op = 0): rc := ra op rb by fn (bits 5..0): 0 slli (ra + ra),
//    2 srli (logical, one bit), 32/34 sub, 33/35 add, 36 xor, 37 or,
//    38/39 and; every other fn only advances the PC. Bits 10..6 are ignored.
//  - I format: imm is bits 15..0 sign-extended, rb is the destination.
//    4 beqz / 5 bnez (PC := PC + 1 + imm when ra = 0 / ra != 0),
//    8/10 subi, 9/11 addi, 12 xori, 13 ori, 14/15 andi, 22 jr (PC := ra),
//    23 jalr (R31 := PC + 1, PC := ra read before R31 is written),
//    24 clri (rb := 0), 25 sgti, 26 seqi, 27 sget, 28 slti, 29 snei, 30 slei
//    (signed compares giving 0 or 1), 31 seti (rb := 1),
//    35 lw (rb := mem[ra + imm]), 43 sw (mem[ra + imm] := rb);
//    every other op (48, the stop opcode, included) only advances the PC.
//  - All arithmetic wraps in 32 bits; there are no traps.
//
// Port list (the one tb.v instantiates; keep it for your own design):
//  clk, reset        clock; reset is synchronous and active high
//  mem_addr          word address of this cycle's access (fetch, load or store)
//  mem_rdata         the word at mem_addr, combinational (0xffffffff unmapped)
//  mem_we, mem_wdata store mem_wdata at mem_addr in this cycle; the word is
//                    there from the next cycle on
//  ret_valid         one cycle per executed instruction; every output is
//                    sampled just before the rising clock edge, so write
//                    clocked registers with nonblocking assignments (<=)
//  ret_pc, ret_word  the instruction's address and word
//  ret_reg_we        the instruction writes a register other than R0
//  ret_reg_num       ... which one (1..31)
//  ret_reg_value     ... and the value written
//  ret_mem_we        the instruction stores a word (made on the memory port
//                    after the previous retire, at the latest in this cycle)
//  ret_mem_addr      ... at this address
//  ret_mem_value     ... this value
`timescale 1ns / 1ns
module tavora_core (
    input  wire        clk,
    input  wire        reset,
    output wire [31:0] mem_addr,
    input  wire [31:0] mem_rdata,
    output wire        mem_we,
    output wire [31:0] mem_wdata,
    output wire        ret_valid,
    output wire [31:0] ret_pc,
    output wire [31:0] ret_word,
    output wire        ret_reg_we,
    output wire [4:0]  ret_reg_num,
    output wire [31:0] ret_reg_value,
    output wire        ret_mem_we,
    output wire [31:0] ret_mem_addr,
    output wire [31:0] ret_mem_value
);
  localparam FETCH = 1'b0, EXECUTE = 1'b1;

  reg        state;
  reg [31:0] pc;
  reg [31:0] ir;
  reg [31:0] r[0:31];

  // Instruction fields of the word in ir.
  wire [5:0] op = ir[31:26];
  wire [4:0] ra = ir[25:21];
  wire [4:0] rb = ir[20:16];
  wire [4:0] rc = ir[15:11];
  wire [5:0] fn = ir[5:0];
  wire [31:0] imm = {{16{ir[15]}}, ir[15:0]};

  wire [31:0] a = r[ra];
  wire [31:0] b = r[rb];
  wire signed [31:0] sa = a;
  wire signed [31:0] si = imm;
  wire [31:0] next = pc + 32'd1;

  // What the instruction in ir does.
  reg        write;   // writes register dest
  reg [4:0]  dest;
  reg [31:0] result;
  reg        store;   // stores b at a + imm
  reg [31:0] new_pc;

  always @* begin
    write  = 1'b0;
    dest   = 5'd0;
    result = 32'd0;
    store  = 1'b0;
    new_pc = next;
    if (op == 6'd0) begin
      dest = rc;
      case (fn)
        6'd0:         begin write = 1'b1; result = a + a; end
        6'd2:         begin write = 1'b1; result = a >> 1; end
        6'd32, 6'd34: begin write = 1'b1; result = a - b; end
        6'd33, 6'd35: begin write = 1'b1; result = a + b; end
        6'd36:        begin write = 1'b1; result = a ^ b; end
        6'd37:        begin write = 1'b1; result = a | b; end
        6'd38, 6'd39: begin write = 1'b1; result = a & b; end
        default: ;
      endcase
    end else begin
      dest = rb;
      case (op)
        6'd4:         if (a == 32'd0) new_pc = next + imm;
        6'd5:         if (a != 32'd0) new_pc = next + imm;
        6'd8, 6'd10:  begin write = 1'b1; result = a - imm; end
        6'd9, 6'd11:  begin write = 1'b1; result = a + imm; end
        6'd12:        begin write = 1'b1; result = a ^ imm; end
        6'd13:        begin write = 1'b1; result = a | imm; end
        6'd14, 6'd15: begin write = 1'b1; result = a & imm; end
        6'd22:        new_pc = a;
        6'd23:        begin write = 1'b1; dest = 5'd31; result = next; new_pc = a; end
        6'd24:        begin write = 1'b1; result = 32'd0; end
        6'd25:        begin write = 1'b1; result = {31'd0, sa > si}; end
        6'd26:        begin write = 1'b1; result = {31'd0, a == imm}; end
        6'd27:        begin write = 1'b1; result = {31'd0, sa >= si}; end
        6'd28:        begin write = 1'b1; result = {31'd0, sa < si}; end
        6'd29:        begin write = 1'b1; result = {31'd0, a != imm}; end
        6'd30:        begin write = 1'b1; result = {31'd0, sa <= si}; end
        6'd31:        begin write = 1'b1; result = 32'd1; end
        6'd35:        begin write = 1'b1; result = mem_rdata; end
        6'd43:        store = 1'b1;
        default: ;
      endcase
    end
  end

  assign mem_addr  = state == FETCH ? pc : a + imm;
  assign mem_we    = state == EXECUTE && store;
  assign mem_wdata = b;

  assign ret_valid     = state == EXECUTE;
  assign ret_pc        = pc;
  assign ret_word      = ir;
  assign ret_reg_we    = ret_valid && write && dest != 5'd0;
  assign ret_reg_num   = dest;
  assign ret_reg_value = result;
  assign ret_mem_we    = ret_valid && store;
  assign ret_mem_addr  = a + imm;
  assign ret_mem_value = b;

  integer i;
  always @(posedge clk) begin
    if (reset) begin
      state <= FETCH;
      pc    <= 32'h00800001;
      ir    <= 32'd0;
      for (i = 0; i < 32; i = i + 1) r[i] <= 32'd0;
      r[30] <= 32'h00800000;
    end else if (state == FETCH) begin
      ir    <= mem_rdata;
      state <= EXECUTE;
    end else begin
      if (write && dest != 5'd0) r[dest] <= result;
      pc    <= new_pc;
      state <= FETCH;
    end
  end
endmodule
